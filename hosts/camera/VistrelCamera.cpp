#include "hosts/camera/VistrelCamera.h"

#include "platform/bundles/BundleFolders.h"
#include "platform/bundles/PlatformBundle.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <unistd.h>

using namespace platform::quicktime;
using namespace vistrel_digitizer;

namespace {

// paramErr from a frame request passes: no frame was published yet, or the digitizer gave up on
// a buffer that another process holds. Ask again at the next frame made current, or later: each
// refusal is logged.
constexpr auto kRetryInterval = std::chrono::milliseconds(100);
constexpr auto kLongestRetryInterval = std::chrono::milliseconds(1000);
// The longest wait: a host that never calls WakeUp has `cancelled` asked at least this often.
constexpr auto kLongestWait = std::chrono::milliseconds(100);
constexpr auto kFramePeriod =
    std::chrono::nanoseconds(1000000000 / VistrelCamera::kFramesPerSecond);
// A frame not come by then is given as the last one again.
constexpr auto kRepeatAfter = kFramePeriod / 2;
// How early a frame may come before its moment: a writer's tick a little ahead of the schedule
// is taken at once rather than a period later.
constexpr auto kEarly = kFramePeriod / 4;
// How much sooner the next frame is looked for when the writer's frame was there already: the
// schedule closes in on a writer ahead of it, and a faster writer gains a reader little rate.
constexpr auto kCatchUp = kFramePeriod / 16;

std::string ComponentFolders() {
    std::string folders;
    for (const std::string& folder :
         platform::bundles::SearchFolders(platform::bundles::kComponentSearch))
        folders += (folders.empty() ? "" : ", ") + folder;
    return folders.empty() ? "none of the component folders exists" : "searched " + folders;
}

void SetFailure(VistrelCamera::OpenResult& result, VistrelCamera::Failure failure,
                std::string message, std::string detail) {
    result.failure = failure;
    result.message = std::move(message);
    result.detail = std::move(detail);
}

struct RefusalWords {
    VistrelOpenRefusal refusal;
    VistrelCamera::Failure failure;
    const char* message;
    const char* detail;
};

constexpr const char* kProgramRefusedMessage =
    "This program is not allowed to use the Vistrel camera (it is excluded, or the system is too "
    "old for it)";

constexpr RefusalWords kRefusals[] = {
    {kVistrelOpenNoChannel, VistrelCamera::Failure::kNoChannel,
     "No Vistrel broadcast has created the camera yet: start a broadcast in Vistrel, then try "
     "again",
     "the digitizer found no camera region of this user"},
    {kVistrelOpenChannelUnreadable, VistrelCamera::Failure::kChannelUnreadable,
     "it cannot be opened as this user's channel (not a regular file of this user with one name)",
     "the camera region exists but the digitizer cannot open it as the camera channel"},
    {kVistrelOpenChannelLocksRefused, VistrelCamera::Failure::kSetUp,
     "The Vistrel camera's frame locks cannot be used: a lock record is not a regular file of "
     "this user with one name (the digitizer's log line names it and says why)",
     "the camera region opens but a frame lock's record does not"},
    {kVistrelOpenChannelShort, VistrelCamera::Failure::kChannelUnreadable,
     "it is shorter than a channel", "the camera region file is too short"},
    {kVistrelOpenChannelDamaged, VistrelCamera::Failure::kChannelUnreadable,
     "its header is damaged or of another version (the next broadcast repairs a damaged one)",
     "the camera region's header is not this version's"},
    {kVistrelOpenConnectionsOff, VistrelCamera::Failure::kConnectionsOff,
     "Camera connections are switched off in Vistrel: allow them in Vistrel to use the camera",
     "the broadcast's allowance refuses every connection"},
    {kVistrelOpenNoMoreConnections, VistrelCamera::Failure::kNoMoreConnections,
     "Vistrel allows no more camera connections in this program",
     "the broadcast's allowance refuses connection number"},
    {kVistrelOpenHostExcluded, VistrelCamera::Failure::kProgramRefused, kProgramRefusedMessage,
     "the digitizer excludes this program"},
    {kVistrelOpenSystemTooOld, VistrelCamera::Failure::kProgramRefused, kProgramRefusedMessage,
     "the system version is below the digitizer's minimum"},
};

// The channel file as the digitizer places it, asked of the digitizer's own object; empty when
// that cannot be loaded (it just refused an open, so it could a moment ago).
// The digitizer's own object, loaded once more (it stays while this is kept).
std::unique_ptr<platform::bundles::Bundle> DigitizerObject(Component component) {
    auto bundle = platform::bundles::Bundle::Create(GetComponentBundlePath(component));
    return bundle && bundle->LoadExecutable() ? std::move(bundle) : nullptr;
}

// The channel file as the digitizer places it, asked of the digitizer's own object; empty when
// that cannot be loaded (it just refused an open, so it could a moment ago).
std::string ChannelPath(Component component) {
    const auto object = DigitizerObject(component);
    const auto answer = reinterpret_cast<ChannelFileFunction>(
        object ? object->FunctionPointerForName(kChannelFileExport) : nullptr);
    if (!answer) return "";
    std::string path(answer(nullptr, 0), '\0');
    answer(path.data(), path.size() + 1);
    return path;
}

// The digitizer answers paramErr for every refusal and leaves its reason with the component.
void Diagnose(Component component, VistrelCamera::OpenResult& result) {
    const long refusal = GetComponentRefcon(component);
    for (const RefusalWords& words : kRefusals) {
        if (words.refusal != refusal) continue;
        std::string detail = words.detail;
        // The refused instance counted itself.
        if (refusal == kVistrelOpenNoMoreConnections)
            detail += " " + std::to_string(CountComponentInstances(component) + 1);
        if (words.failure == VistrelCamera::Failure::kChannelUnreadable) {
            const std::string file = ChannelPath(component);
            return SetFailure(result, words.failure,
                              "The Vistrel camera channel file " +
                                  (file.empty() ? "" : file + " ") +
                                  "cannot be used: " + words.message,
                              detail);
        }
        return SetFailure(result, words.failure, words.message, detail);
    }
    SetFailure(result, VistrelCamera::Failure::kSetUp, "The Vistrel camera could not be opened",
               "the digitizer refused to open, for no reason it names (" + std::to_string(refusal) +
                   ")");
}

} // namespace

VistrelCamera::VistrelCamera(ComponentInstance instance)
    : mInstance(instance), mRetry(kRetryInterval) {}

VistrelCamera::OpenResult VistrelCamera::Open() {
    OpenResult result;
    ComponentDescription looking{videoDigitizerComponentType, kSubType, kManufacturer, 0, 0};
    Component component = FindNextComponent(nullptr, &looking);
    if (!component) {
        SetFailure(result, Failure::kNotInstalled,
                   "No Vistrel camera is installed: no component folder holds the Vistrel "
                   "camera component (VistrelXXX.component)",
                   "no 'vdig' component 'Vstr' by 'Trnw'; " + ComponentFolders());
        return result;
    }
    ComponentInstance instance = nullptr;
    OSErr err = OpenAComponent(component, &instance);
    // A bundle whose object cannot be loaded gives way to the next one registered.
    for (Component next = component;
         (err == componentDllLoadErr || err == componentDllEntryNotFoundErr) &&
         (next = FindNextComponent(next, &looking));) {
        const OSErr nextErr = OpenAComponent(next, &instance);
        if (nextErr == componentDllLoadErr || nextErr == componentDllEntryNotFoundErr) continue;
        component = next;
        err = nextErr;
    }
    if (err == paramErr) {
        Diagnose(component, result);
        return result;
    }
    if (err == componentDllLoadErr || err == componentDllEntryNotFoundErr) {
        SetFailure(result, Failure::kNotLoadable,
                   "The Vistrel camera component is installed but cannot be loaded",
                   "OpenAComponent answered " + std::to_string(err));
        return result;
    }
    if (err != noErr) {
        SetFailure(result, Failure::kSetUp, "The Vistrel camera could not be opened",
                   "OpenAComponent answered " + std::to_string(err));
        return result;
    }
    auto* camera = new VistrelCamera(instance);
    // The open instance keeps the object loaded for the camera's life.
    if (const auto object = DigitizerObject(component)) {
        camera->mAwait = reinterpret_cast<SharedCameraAwaitPublishFn>(
            object->FunctionPointerForName(kSharedCameraAwaitPublish));
        camera->mInterruptWait = reinterpret_cast<SharedCameraInterruptWaitFn>(
            object->FunctionPointerForName(kSharedCameraInterruptWait));
    }
    if (!camera->StartCapture(result)) {
        camera->Stop();
        return result;
    }
    result.camera = camera;
    return result;
}

bool VistrelCamera::StartCapture(OpenResult& result) {
    const auto failed = [&](const char* call, long err) {
        SetFailure(result, Failure::kSetUp, "The Vistrel camera could not be started",
                   std::string(call) + " answered " + std::to_string(err));
        return false;
    };
    VideoDigitizerError err = VDSetCompressionOnOff(mInstance, 1);
    if (err) return failed("VDSetCompressionOnOff", err);
    // Type 0: the device's own format, as it is.
    if ((err = VDSetCompression(mInstance, 0, 0, nullptr, 0, 0, 0)))
        return failed("VDSetCompression", err);

    auto desc = reinterpret_cast<ImageDescriptionHandle>(NewHandleClear(sizeof(ImageDescription)));
    if (!desc) return failed("NewHandleClear", MemError());
    err = VDGetImageDescription(mInstance, desc);
    const ImageDescription description = **desc;
    DisposeHandle(reinterpret_cast<Handle>(desc));
    if (err) return failed("VDGetImageDescription", err);
    if (description.cType != kFramePixelFormat || description.width != kFrameWidth ||
        description.height != kFrameHeight || description.depth != 32) {
        char detail[160];
        std::snprintf(detail, sizeof detail,
                      "image description of type 0x%08x, %dx%d, depth %d; expected 'raw ' "
                      "%dx%d, depth 32",
                      unsigned(description.cType), description.width, description.height,
                      description.depth, kFrameWidth, kFrameHeight);
        SetFailure(result, Failure::kSetUp,
                   "The Vistrel camera delivers pictures of a kind this element does not know",
                   detail);
        return false;
    }

    mTimeBase = NewTimeBase();
    if (!mTimeBase) return failed("NewTimeBase", memFullErr);
    SetTimeBaseRate(mTimeBase, Long2Fix(1));
    if ((err = VDSetTimeBase(mInstance, mTimeBase))) return failed("VDSetTimeBase", err);
    if ((err = VDSetFrameRate(mInstance, Long2Fix(kFramesPerSecond))))
        return failed("VDSetFrameRate", err);
    // A preview hands out the current frame whenever asked: the schedule is ours.
    if ((err =
             VDCaptureStateChanging(mInstance, vdFlagCaptureStarting | vdFlagCaptureIsForPreview)))
        return failed("VDCaptureStateChanging", err);
    return true;
}

// Frames keep their schedule when the host takes a while with each (a sink that waits for the
// frame's time plus the pipeline's latency), so that it gets them at the broadcast's rate. A
// frame that woke the camera moves the schedule to the writer's, so that the next wait ends at
// the writer's next frame; one that was there already moves it a little sooner. A frame a whole
// period behind it (a stall of the host or of the writer) or ahead of it starts it again from now:
// a schedule left behind would date every later frame too early, one left ahead would have the
// source sleep through the frames.
VistrelCamera::Clock::duration VistrelCamera::Schedule(bool repeat, Came came) {
    const auto now = Clock::now();
    if (!repeat && (!mDelivered || came == Came::kWoken || now - mNextDue >= kFramePeriod ||
                    mNextDue - now > kFramePeriod))
        mNextDue = now;
    const auto late = std::max(Clock::duration::zero(), now - mNextDue);
    mNextDue += came == Came::kWaiting ? kFramePeriod - kCatchUp : kFramePeriod;
    mDelivered = true;
    return late;
}

SharedCameraWaitOutcome VistrelCamera::Await(const void* shown, bool watch, Clock::time_point until,
                                             uint32_t seen) {
    const auto length = std::min<Clock::duration>(until - Clock::now(), kLongestWait);
    if (!mAwait) { // a component without the wait: look again in a moment
        std::this_thread::sleep_for(std::min<Clock::duration>(length, kLongestWait / 50));
        return watch ? kSharedCameraFrameWaiting : kSharedCameraWaitTimedOut;
    }
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(length).count();
    return SharedCameraWaitOutcome(
        mAwait(shown, watch ? 1 : 0, std::max<int64_t>(0, nanoseconds), &mInterrupt, seen));
}

void VistrelCamera::WakeUp() {
    if (mInterruptWait) mInterruptWait(&mInterrupt);
}

VistrelCamera::Next VistrelCamera::AskForFrame(const Take& take, std::string& detail) {
    UInt8 queued = 0;
    Ptr data = nullptr;
    long size = 0;
    VideoDigitizerError err = VDCompressOneFrameAsync(mInstance);
    if (err == noErr) err = VDCompressDone(mInstance, &queued, &data, &size, nullptr, nullptr);
    if (err == paramErr) {
        // Each refusal is logged: ask less often the longer there is no frame.
        mNextAsk = Clock::now() + mRetry;
        mRetry = std::min<Clock::duration>(2 * mRetry, kLongestRetryInterval);
        return Next::kRepeat;
    }
    if (err != noErr) {
        detail = "the digitizer's frame request answered " + std::to_string(err);
        return Next::kFailed;
    }
    if (queued == 0 || !data) return Next::kRepeat;
    mShown = data;
    if (size >= kFrameSizeBytes) take(reinterpret_cast<const uint8_t*>(data));
    VDReleaseCompressBuffer(mInstance, data);
    if (size < kFrameSizeBytes) {
        detail = "the digitizer delivered " + std::to_string(size) + " bytes instead of " +
                 std::to_string(kFrameSizeBytes);
        return Next::kFailed;
    }
    mRetry = kRetryInterval;
    return Next::kFrame;
}

VistrelCamera::Next VistrelCamera::NextFrame(const std::function<bool()>& cancelled, uint8_t* into,
                                             Clock::duration& late, std::string& detail) {
    return NextFrame(
        cancelled, [into](const uint8_t* frame) { std::memcpy(into, frame, kFrameSizeBytes); },
        late, detail);
}

VistrelCamera::Next VistrelCamera::NextFrame(const std::function<bool()>& cancelled,
                                             const Take& take, Clock::duration& late,
                                             std::string& detail) {
    // A host that comes after the frame's moment (one that syncs to a clock) gives the writer
    // half a period from then, and keeps the schedule.
    const auto called = Clock::now();
    const auto repeatAt = std::max(mNextDue, called) + kRepeatAfter;
    SharedCameraWaitOutcome woke = kSharedCameraWaitTimedOut;
    for (;;) {
        // Read before `cancelled`, so that a WakeUp after it ends the wait below at once.
        const uint32_t seen = __atomic_load_n(&mInterrupt, __ATOMIC_ACQUIRE);
        if (cancelled()) return Next::kCancelled;
        const auto now = Clock::now();
        if (woke == kSharedCameraFramePublished || woke == kSharedCameraFrameWaiting ||
            (!mDelivered && now >= mNextAsk)) {
            const Next next = AskForFrame(take, detail);
            if (next == Next::kFailed) return next;
            if (next == Next::kFrame) {
                // Only a camera that came in time tells where the writer's frames fall.
                const Came came = called > mNextDue                     ? Came::kLate
                                  : woke == kSharedCameraFramePublished ? Came::kWoken
                                  : woke == kSharedCameraFrameWaiting   ? Came::kWaiting
                                                                        : Came::kLate;
                late = Schedule(false, came);
                return next;
            }
        }
        if (mDelivered && now >= repeatAt) {
            late = Schedule(true, Came::kLate);
            return Next::kRepeat;
        }
        if (!mDelivered || now < mNextAsk) {
            // No frame to follow: the writer's next one, or the time to ask again.
            auto until = now < mNextAsk ? mNextAsk : now + kRetryInterval;
            if (mDelivered) until = std::min(until, repeatAt);
            woke = Await(nullptr, true, until, seen);
        } else if (now < mNextDue - kEarly) {
            woke = Await(nullptr, false, mNextDue - kEarly, seen);
        } else {
            woke = Await(mShown, true, repeatAt, seen);
        }
    }
}

void VistrelCamera::Stop() {
    VDCaptureStateChanging(mInstance, vdFlagCaptureStopping);
    VDSetCompressionOnOff(mInstance, 0);
    CloseComponent(mInstance);
    if (mTimeBase) DisposeTimeBase(mTimeBase);
    delete this;
}
