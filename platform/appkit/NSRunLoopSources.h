#pragma once

// Sources the main event loop serves besides the toolkit's own: a descriptor watched for reading
// and calls made each time the loop is about to wait. For layers that keep a connection of their
// own (the hot keys' X connection). Main thread only; the application must exist.
#include <functional>
#include <memory>

namespace platform::appkit {

// Runs readable() whenever fd can be read; the watch ends when readable() answers false. A
// negative descriptor is not watched and answers false.
bool NSRunLoopWatchDescriptor(int fd, std::function<bool()> readable);
// Runs call() every time the loop is about to block waiting for events.
void NSRunLoopAddBeforeWaitCall(std::function<void()> call);

// A descriptor whose reader queues what it reads: while enabled, call() runs whenever fd can be
// read and every time the loop is about to wait (what another read took off fd waits in the
// reader's queue without making it readable). fd is not negative; the watch ends with the object.
class NSRunLoopDescriptorSource {
public:
    NSRunLoopDescriptorSource(int fd, std::function<void()> call);
    ~NSRunLoopDescriptorSource();
    void setEnabled(bool enabled);

private:
    struct Watch;
    std::unique_ptr<Watch> mWatch;
    bool mEnabled = false;
};

} // namespace platform::appkit
