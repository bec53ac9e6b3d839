#pragma once

// A full-screen OpenGL context on one display, for reading its front buffer during one grab:
// construct, MakeCurrent(true), make it current again, select the front buffer, read,
// MakeCurrent(false), Destruct.
#include "platform/cgl/CGL.h"

namespace Apple_CGL {

class GrabContext {
public:
    GrabContext();
    explicit GrabContext(unsigned int displayID);
    ~GrabContext();
    GrabContext(const GrabContext&) = delete;
    GrabContext& operator=(const GrabContext&) = delete;

    // The main display.
    bool Construct();
    bool Construct(unsigned int displayID);
    bool IsValid() const { return mContext != nullptr; }
    bool IsConstructed() const { return IsValid(); }
    // true: current on this thread and attached full screen; false: no context current and
    // the drawable let go. False also when the platform refuses the change.
    bool MakeCurrent(bool attach) const;
    void Destruct();

    platform::cgl::CGLContextObj GetContext() const { return mContext; }

private:
    platform::cgl::CGLContextObj mContext;
};

} // namespace Apple_CGL
