#pragma once

#include <QString>

// Shows a file in the desktop's file manager with the file selected.
class FileRevealer {
public:
    virtual ~FileRevealer();

    // filePath is absolute. Returns whether some file manager was asked to show it.
    virtual bool revealFile(const QString& filePath) = 0;
};
