#pragma once

#include <QPointer>

class VeskDocumentController;
class VeskPanelController;

// One open document: its file binding and session, and its panel. Owned by the AppController.
struct DocumentContext {
    QPointer<VeskDocumentController> documentController;
    QPointer<VeskPanelController> panelController;
};
