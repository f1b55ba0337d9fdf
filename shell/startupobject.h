#pragma once

#include "imagefiles/imaging.h"

namespace zentavo {

// The imaging layer's start-up as the window drives it: started once when the window loads,
// ended when it closes. GUI thread.
class StartupObject {
public:
    virtual ~StartupObject() = default;
    // True when the imaging layer is ready; false when it could not start.
    virtual bool start() = 0;
    // Ends what start() began; harmless when it did not succeed.
    virtual void end() = 0;
};

// The program's start-up object: the imaging layer's own codec checks.
class ImagingStartupObject : public StartupObject {
public:
    bool start() override { return m_startup.start(); }
    void end() override { m_startup.end(); }

private:
    ImagingStartup m_startup;
};

}  // namespace zentavo
