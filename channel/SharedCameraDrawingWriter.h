#pragma once

#include "channel/SharedCameraFrameWriter.h"
#include "platform/coregraphics/CoreGraphics.h"

// A bitmap context over the record's pixels (A, R, G, B bytes, premultiplied, origin at the
// bottom-left) that filters what it scales; null without pixels. The caller releases it.
platform::coregraphics::CGContextRef
CGContextRef_From_ARGB_CameraBuffer(const tagSHARED_CAMERA_BUFFER& camera_buffer);

// The frame writer with a drawing context over each buffer, made when it opens and kept until it
// closes, so that a frame is drawn straight into the shared memory.
class SharedCameraDrawingWriter : public SharedCameraFrameWriter {
public:
    using SharedCameraFrameWriter::SharedCameraFrameWriter;
    ~SharedCameraDrawingWriter() override;

    // Opening also clears both frames to transparent black.
    bool Open() override;
    void Close() override;
    platform::coregraphics::CGContextRef Context(int n) const { return mContexts[n]; }
    // Clears buffer n's frame to transparent black.
    void Erase(int n);
    // The image stretched over the whole frame; what it does not cover keeps the older frame.
    Result WriteImage(platform::coregraphics::CGImageRef image);
    // draw(context) fills the frame through the locked buffer's context, as Write's draw does.
    template <class Draw> Result WriteInContext(Draw&& draw) {
        return Write([&](int n, const tagSHARED_CAMERA_BUFFER&) { return draw(mContexts[n]); });
    }

private:
    platform::coregraphics::CGContextRef mContexts[2]{};
};
