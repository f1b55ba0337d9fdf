#pragma once

#include <QString>

namespace zentavo {

// How the window hands a file or a folder to the desktop: the file opens in the desktop's
// program for its type, the folder in its file manager. The program does not wait for the
// desktop or use its answer. The window uses QtDesktopOpener; tests record the requests
// instead, so that no desktop program starts. GUI thread.
class DesktopOpener {
public:
    virtual ~DesktopOpener() = default;
    virtual void openFile(const QString& path) = 0;
    virtual void openFolder(const QString& folder) = 0;
};

// The desktop's own handlers, through QDesktopServices.
class QtDesktopOpener : public DesktopOpener {
public:
    void openFile(const QString& path) override;
    void openFolder(const QString& folder) override;
};

}  // namespace zentavo
