#include "platform/DialogPresenter.h"

DialogPresenter::~DialogPresenter() = default;

int DialogPresenter::runWindowAlert(
    QObject*, const QString& message, const QString& informativeText, const QStringList& buttons)
{
    return runAlert(message, informativeText, buttons);
}
