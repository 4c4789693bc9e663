#include "document/DocumentError.h"

QString documentErrorDescription(DocumentError error)
{
    switch (error) {
    case DocumentError::unsupportedFileType:
        return QStringLiteral("Vesk can only open plain text files.");
    case DocumentError::importDeclined:
        return QStringLiteral("The selected file was not imported into Vesk.");
    case DocumentError::missingBundledTemplate:
        return QStringLiteral("Vesk couldn't find the bundled new-file template.");
    case DocumentError::changedBeforeImport:
        return QStringLiteral("The file changed while Vesk was asking whether to import it, so nothing was "
                              "imported. Open it again to import what it holds now.");
    }
    return QString();
}
