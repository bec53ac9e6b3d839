// The display services against real X servers. Each scenario runs in a child process of its
// own, because the services keep one connection per process, opened on first use.
#include "platform/coregraphics/CoreGraphics.h"
#include "platform/quartzdisplay/CoreGraphicsDisplays.h"
#include "platform/quartzdisplay/PortalScreenCast.h"
#include "platform/quartzdisplay/ScreenChangeWatch.h"
#include "platform/quartzdisplay/XCapture.h"
#include "platform/quartzdisplay/XConnection.h"
#include "tests/support/PatternScreen.h"
#include "tests/support/XWindows.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <optional>
#include <poll.h>
#include <sys/mman.h>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <vector>

using namespace platform::coregraphics;
using testsupport::InDisplayChild;
using testsupport::PatternScreen;
using testsupport::ScreenSize;
using testsupport::XServer;

namespace {

// An image's pixels as 0xAARRGGBB words, read the way any consumer reads them: drawn 1:1 unless
// a size is given.
std::vector<uint32_t> PixelsOf(CGImageRef image, size_t width = 0, size_t height = 0) {
    if (!width) width = CGImageGetWidth(image), height = CGImageGetHeight(image);
    std::vector<uint32_t> pixels(width * height);
    CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
    CGContextRef context =
        CGBitmapContextCreate(pixels.data(), width, height, 8, width * 4, space,
                              kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little);
    CGContextDrawImage(context, CGRectMake(0, 0, CGFloat(width), CGFloat(height)), image);
    CGContextRelease(context);
    CGColorSpaceRelease(space);
    return pixels;
}

using Box = testsupport::RootBox;

// The opaque pixels of box in a pattern of the given row length; black where it is not shown.
std::vector<uint32_t> Expected(const std::vector<uint32_t>& pattern, int rowLength, Box box,
                               bool (*shown)(int x, int y) = nullptr) {
    std::vector<uint32_t> pixels;
    for (int y = box.y; y < box.y + box.height; ++y)
        for (int x = box.x; x < box.x + box.width; ++x)
            pixels.push_back(!shown || shown(x, y)
                                 ? pattern[size_t(y) * size_t(rowLength) + size_t(x)] | 0xFF000000u
                                 : 0xFF000000u);
    return pixels;
}

// Checks an image against box of the pattern (nullopt: no image at all).
void ExpectImage(CGImageRef image, const std::vector<uint32_t>& pattern, int rowLength,
                 std::optional<Box> box, bool (*shown)(int x, int y) = nullptr) {
    if (!box) {
        EXPECT_EQ(image, nullptr);
        return;
    }
    ASSERT_NE(image, nullptr);
    // The pixels drawn 1:1 also check the size.
    EXPECT_EQ(CGImageGetBytesPerRow(image), size_t(box->width) * 4);
    EXPECT_EQ(CGImageGetBitmapInfo(image), kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder32Little);
    EXPECT_TRUE(PixelsOf(image) == Expected(pattern, rowLength, *box, shown));
    CGImageRelease(image);
}

// Larger than one request may carry (16 MiB), so that plain image requests come in bands.
constexpr ScreenSize kLarge{2560, 1700};

using DisplayImages = testsupport::PatternScreenSuite<kLarge, 7>;

struct RectCase {
    const char* name;
    std::optional<CGRect> rect; // none: the whole display
    std::optional<Box> expected;
};

const RectCase kRectCases[] = {
    {"inside", CGRectMake(100, 50, 640, 480), Box{100, 50, 640, 480}},
    {"whole display, in bands", std::nullopt, Box{0, 0, kLarge.width, kLarge.height}},
    {"fractional edges round outwards", CGRectMake(10.5, 20.25, 99.5, 50.5), Box{10, 20, 100, 51}},
    {"negative size is the same rectangle", CGRectMake(30, 40, -20, -10), Box{10, 30, 20, 10}},
    {"partly off the bottom left", CGRectMake(-20, 1650, 100, 100), Box{0, 1650, 80, 50}},
    {"entirely off the right", CGRectMake(2560, 0, 10, 10), std::nullopt},
    {"touching the top left from outside", CGRectMake(-50, -50, 50, 50), std::nullopt},
    {"empty", CGRectMake(5, 5, 0, 10), std::nullopt},
    {"not a number", CGRectMake(NAN, 0, 10, 10), std::nullopt},
};

// Every case on a thread of its own, several times over, so that captures share the segments,
// which grow under them.
TEST_F(DisplayImages, ReturnExactlyTheDrawnPixelsThroughEitherPathOnManyThreadsAtOnce) {
    for (const char* noShm : {"0", "1"}) {
        SCOPED_TRACE(std::string("VISTREL_X11_NO_SHM=") + noShm);
        InDisplayChild(Display(), [&] {
            testsupport::ScopedEnv path("VISTREL_X11_NO_SHM", noShm);
            const CGDirectDisplayID main = CGMainDisplayID();
            std::vector<std::thread> threads;
            for (const RectCase& c : kRectCases)
                threads.emplace_back([&, c] {
                    SCOPED_TRACE(c.name);
                    for (int i = 0; i < 5; ++i)
                        ExpectImage(c.rect ? CGDisplayCreateImageForRect(main, *c.rect)
                                           : CGDisplayCreateImage(main),
                                    sScreen->pattern, kLarge.width, c.expected);
                });
            for (std::thread& thread : threads)
                thread.join();
        });
    }
}

// Frames in a file mapped shared, as the camera channel's are, at its offsets (not page aligned).
constexpr size_t kFrameOffsets[] = {1024, 1230848}, kFileBytes = 2460672;
constexpr CGBitmapInfo kARGB = kCGImageAlphaPremultipliedFirst;
constexpr CGBitmapInfo kBGRA = kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little;

struct MappedFrames {
    testsupport::TempFolder folder;
    uint8_t* base = nullptr;

    MappedFrames() { Map(nullptr); }
    ~MappedFrames() { ::munmap(base, kFileBytes); }
    // A new file at the same path mapped at at (or anywhere), as a writer replaces the channel.
    void Map(void* at) {
        const int fd = ::open((folder / "new").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        ASSERT_TRUE(fd >= 0 && ::ftruncate(fd, kFileBytes) == 0);
        ASSERT_EQ(::rename((folder / "new").c_str(), (folder / "frames").c_str()), 0);
        base = static_cast<uint8_t*>(::mmap(at, kFileBytes, PROT_READ | PROT_WRITE,
                                            MAP_SHARED | (at ? MAP_FIXED : 0), fd, 0));
        ::close(fd);
    }
};

// Whether the server wrote a 640 x 480 frame over pixels in place, and then that its bytes are
// those of the rectangle's image drawn into a context of the same layout. Both start from bytes
// the screen does not give.
bool DrawnInPlaceAsCopied(void* pixels, CGRect rect, CGBitmapInfo layout) {
    std::vector<uint8_t> copied(640 * 480 * 4, 0x5A);
    std::memset(pixels, 0x5A, copied.size());
    CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
    CGContextRef frame = CGBitmapContextCreate(pixels, 640, 480, 8, 2560, space, layout);
    CGContextRef copy = CGBitmapContextCreate(copied.data(), 640, 480, 8, 2560, space, layout);
    const bool inPlace = CGWindowListDrawImageInPlace(rect, frame);
    CGImageRef image = CGWindowListCreateImage(rect, kCGWindowListOptionOnScreenOnly,
                                               kCGNullWindowID, kCGWindowImageDefault);
    CGContextDrawImage(copy, CGRectMake(0, 0, 640, 480), image);
    for (CGContextRef context : {frame, copy})
        CGContextRelease(context);
    CGImageRelease(image);
    CGColorSpaceRelease(space);
    if (inPlace) {
        EXPECT_TRUE(std::memcmp(pixels, copied.data(), copied.size()) == 0);
    }
    return inPlace;
}

// The case, the rectangle, the frame (-1: private memory), its layout, VISTREL_X11_NO_SHM, whether
// the server draws in place.
const std::tuple<const char*, CGRect, int, CGBitmapInfo, const char*, bool> kInPlaceCases[] = {
    {"first frame, A R G B", CGRectMake(100, 50, 640, 480), 0, kARGB, "0", true},
    {"second frame, B G R A", CGRectMake(7, 3, 640, 480), 1, kBGRA, "0", true},
    {"partly off the bottom right", CGRectMake(2200, 1400, 640, 480), 1, kARGB, "0", true},
    {"fractional edges: 641 wide", CGRectMake(0.5, 0, 640, 480), 0, kARGB, "0", false},
    {"private memory", CGRectMake(0, 0, 640, 480), -1, kARGB, "0", false},
    {"shared memory switched off", CGRectMake(0, 0, 640, 480), 0, kARGB, "1", false},
};

// The server writes a frame straight into a mapped file, the same bytes as the image drawn into
// it, with the vector rows and with the plain ones; where it cannot, the caller is told so.
TEST_F(DisplayImages, DrawnInPlaceGivesTheCopiedBytes) {
    for (const char* reference : {"0", "1"})
        InDisplayChild(Display(), [&] {
            SCOPED_TRACE(std::string("VISTREL_PIXELS_REFERENCE=") + reference);
            testsupport::ScopedEnv level("VISTREL_PIXELS_REFERENCE", reference);
            MappedFrames file;
            std::vector<uint8_t> memory(640 * 480 * 4);
            for (const auto& [name, rect, frame, layout, noShm, inPlace] : kInPlaceCases) {
                SCOPED_TRACE(name);
                testsupport::ScopedEnv path("VISTREL_X11_NO_SHM", noShm);
                void* pixels = frame < 0 ? memory.data() : file.base + kFrameOffsets[frame];
                EXPECT_EQ(DrawnInPlaceAsCopied(pixels, rect, layout), inPlace);
            }
            // The file replaced and mapped again at the same address: the server writes into
            // the new one.
            file.Map(file.base);
            EXPECT_TRUE(DrawnInPlaceAsCopied(file.base + kFrameOffsets[0],
                                             CGRectMake(30, 40, 640, 480), kARGB));
        });
}

// Images are drawn from the memory the server wrote; one still held keeps its pixels while later
// grabs of the same rectangle see the screen change, also with more images held than there are
// segments to go round. Drawn scaled, a display image is filtered: columns alternately black and
// mid-gray average out at a third of their size, where nearest sampling keeps black or gray.
TEST(DisplayImagesOverTime, AHeldImageKeepsItsPixelsAndScaledImagesAreFiltered) {
    const PatternScreen screen({200, 100}, 3);
    ASSERT_TRUE(screen.drawn) << screen.Log();
    const auto put = [&](const std::vector<uint32_t>& pixels) {
        return testsupport::PutRootPixels(screen.server->Display(), 0, 0, 200, 100, pixels);
    };
    InDisplayChild(screen.server->Display(), [&] {
        const CGDirectDisplayID main = CGMainDisplayID();
        const CGRect rect = CGRectMake(10, 20, 30, 40);
        std::vector<std::pair<CGImageRef, std::vector<uint32_t>>> held;
        for (uint32_t seed = 1; seed <= 6; ++seed) {
            const auto pattern = testsupport::TestPattern(200, 100, seed);
            ASSERT_TRUE(put(pattern));
            held.emplace_back(CGDisplayCreateImageForRect(main, rect),
                              Expected(pattern, 200, Box{10, 20, 30, 40}));
        }
        for (const auto& [image, expected] : held) {
            EXPECT_TRUE(PixelsOf(image) == expected);
            CGImageRelease(image);
        }
        std::vector<uint32_t> columns(200 * 100);
        for (size_t i = 0; i < columns.size(); ++i)
            columns[i] = i % 2 ? 0x808080u : 0;
        ASSERT_TRUE(put(columns));
        CGImageRef image = CGDisplayCreateImageForRect(main, CGRectMake(0, 0, 12, 4));
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(PixelsOf(image, 4, 4), std::vector<uint32_t>(16, 0xFF404040u));
        CGImageRelease(image);
    });
}

// Drawing over a looked-at rectangle makes the watch's descriptor readable and is reported by
// a peek, which leaves it to the next look; drawing beside the rectangle is not reported.
TEST_F(DisplayImages, APeekAtTheScreenWatchTakesNothing) {
    InDisplayChild(Display(), [&] {
        ScreenChangeWatch watch;
        const CGRect rect = CGRectMake(100, 50, 64, 48);
        // Following starts with the whole screen drawn.
        EXPECT_TRUE(watch.Changed(rect) && watch.Changed(rect));
        const int fd = watch.DrawingDescriptor();
        ASSERT_GE(fd, 0);
        for (const auto& [left, over] : {std::pair{300, false}, {120, true}}) {
            const std::vector<uint32_t> dots(16, 0xFF00FFu);
            ASSERT_TRUE(testsupport::PutRootPixels(Display(), left, 60, 4, 4, dots));
            pollfd readable{fd, POLLIN, 0};
            EXPECT_EQ(::poll(&readable, 1, 10000), 1) << left;
            EXPECT_EQ(watch.MayHaveChanged(), over) << left;
            EXPECT_EQ(watch.MayHaveChanged(), over) << left;
            EXPECT_EQ(watch.Changed(rect), over) << left;
        }
    });
}

// Where no segment can be passed the server is not offered any; images then come the way
// VISTREL_X11_NO_SHM=1 sends them above.
TEST(DisplayImagesWithoutSharedMemory, NoSegmentIsOffered) {
    const struct {
        const char* name;
        std::vector<std::string> arguments;
        const char* host; // put before the display number
    } cases[] = {
        {"server without MIT-SHM", {"-extension", "MIT-SHM"}, ""},
        {"server over TCP on the loopback", {"-listen", "tcp"}, "127.0.0.1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto server = XServer::Xvfb({320, 200}, 24, c.arguments);
        ASSERT_TRUE(server->Running()) << server->Log();
        InDisplayChild(c.host + server->Display(), [&] {
            const x11::Connection* x = x11::TheConnection();
            ASSERT_NE(x, nullptr);
            EXPECT_FALSE(x->sharedMemory);
        });
    }
}

// The expected displays, main first: bounds in global coordinates and root position.
struct Expect {
    CGRect bounds;
    int rootX, rootY;
};

// Checks the list and that each display's image starts at its own place on the root window.
void ExpectDisplays(const std::vector<Expect>& expected, const std::vector<uint32_t>& pattern,
                    int rowLength) {
    CGDirectDisplayID ids[kCGMaxDisplays] = {};
    CGDisplayCount count = 0;
    ASSERT_EQ(CGGetOnlineDisplayList(kCGMaxDisplays, ids, &count), kCGErrorSuccess);
    ASSERT_EQ(count, expected.size());
    EXPECT_EQ(CGMainDisplayID(), ids[0]);
    for (size_t i = 0; i < count; ++i) {
        SCOPED_TRACE(i);
        const CGRect b = CGDisplayBounds(ids[i]), e = expected[i].bounds;
        EXPECT_EQ(std::vector<double>({b.origin.x, b.origin.y, b.size.width, b.size.height}),
                  std::vector<double>({e.origin.x, e.origin.y, e.size.width, e.size.height}));
        EXPECT_EQ(CGDisplayIDToOpenGLDisplayMask(ids[i]), 1u << i);
        ExpectImage(CGDisplayCreateImageForRect(ids[i], CGRectMake(3, 2, 40, 30)), pattern,
                    rowLength, Box{expected[i].rootX + 3, expected[i].rootY + 2, 40, 30});
    }
}

// One screen is the main display at the origin. The shared-memory path falls back silently, so it
// is checked on its own on a local server.
TEST_F(DisplayImages, OneScreenIsTheMainDisplayAtTheOriginServedBySharedMemory) {
    InDisplayChild(Display(), [&] {
        ExpectDisplays({{CGRectMake(0, 0, kLarge.width, kLarge.height), 0, 0}}, sScreen->pattern,
                       kLarge.width);
        // No side past 32767 pixels.
        EXPECT_EQ(CGWindowListCreateImage(CGRectMake(-40000, 0, 40010, 10),
                                          kCGWindowListOptionOnScreenOnly, kCGNullWindowID,
                                          kCGWindowImageDefault),
                  nullptr);
        const x11::Connection* x = x11::TheConnection();
        ASSERT_NE(x, nullptr);
        ASSERT_TRUE(x->sharedMemory && x->capturable);
        for (const Box box : {Box{0, 0, 64, 32}, Box{200, 300, 1024, 768}, Box{1, 2, 3, 4}}) {
            std::vector<uint32_t> pixels(size_t(box.width) * size_t(box.height));
            ASSERT_TRUE(
                x11::ReadBySharedMemory(*x, box.x, box.y, box.width, box.height, pixels.data()));
            EXPECT_TRUE(pixels == Expected(sScreen->pattern, kLarge.width, box));
        }
    });
}

// Rectangles in global coordinates across the monitors of the next test (root pixels: LEFT
// 0,0 800x400, RIGHT, the main one, 800,0 800x600, on a 1600 x 600 screen).
const RectCase kAcrossCases[] = {
    {"across both, partly below the left one", CGRectMake(-100, 350, 300, 100),
     Box{700, 350, 300, 100}},
    {"past the screen's right and bottom", CGRectMake(700, 580, 200, 50), Box{1500, 580, 200, 50}},
    {"past its left, fractional", CGRectMake(-810.5, 0, 20, 10), Box{-11, 0, 21, 10}},
    {"below the left one only", CGRectMake(-700, 450, 100, 100), std::nullopt},
};

// RandR monitors, the primary one the main display. The bounds every grab looks up come from the
// kept list, which catches up with monitors another client defines (the server announces none)
// within a quarter of a second. A rectangle across them is taken whole, black where no monitor is.
TEST(DisplayList, KeptBoundsFollowRandRMonitorsWithTheMainOneOnTheRight) {
    const PatternScreen screen({1600, 600}, 3);
    ASSERT_TRUE(screen.drawn) << screen.Log();
    const std::string& display = screen.server->Display();
    InDisplayChild(display, [&] {
        const CGDirectDisplayID whole = CGMainDisplayID();
        ASSERT_EQ(CGDisplayPixelsWide(whole), 1600u);
        ASSERT_TRUE(testsupport::SetMonitor(display, "LEFT", 0, 0, 800, 400, false, true));
        ASSERT_TRUE(testsupport::SetMonitor(display, "RIGHT", 800, 0, 800, 600, true, false));
        EXPECT_TRUE(testsupport::Eventually([&] { return CGDisplayPixelsWide(whole) == 0; }, 2))
            << "the replaced monitor is gone";
        ExpectDisplays(
            {{CGRectMake(0, 0, 800, 600), 800, 0}, {CGRectMake(-800, 0, 800, 400), 0, 0}},
            screen.pattern, 1600);
        for (const char* noShm : {"0", "1"}) {
            testsupport::ScopedEnv path("VISTREL_X11_NO_SHM", noShm);
            for (const RectCase& c : kAcrossCases) {
                SCOPED_TRACE(std::string(c.name) + ", VISTREL_X11_NO_SHM=" + noShm);
                ExpectImage(CGWindowListCreateImage(*c.rect, kCGWindowListOptionOnScreenOnly,
                                                    kCGNullWindowID, kCGWindowImageDefault),
                            screen.pattern, 1600, c.expected, [](int x, int y) {
                                return x >= 0 && x < 1600 && y < (x < 800 ? 400 : 600);
                            });
            }
        }
    });
}

TEST(DisplayList, NestedXineramaHeadsSideBySide) {
    auto host = XServer::Xvfb({1600, 800});
    ASSERT_TRUE(host->Running()) << host->Log();
    // Xephyr shown on the host, its two screens joined side by side by Xinerama.
    auto nested = XServer::Start(
        {XServer::ProgramPath("Xephyr"), "+xinerama", "-screen", "640x480", "-screen", "800x600"},
        host->Display());
    ASSERT_TRUE(nested->Running()) << nested->Log();
    const auto pattern = testsupport::TestPattern(1440, 600, 5);
    ASSERT_TRUE(testsupport::PutRootPixels(nested->Display(), 0, 0, 1440, 600, pattern));
    InDisplayChild(nested->Display(), [&] {
        ExpectDisplays({{CGRectMake(0, 0, 640, 480), 0, 0}, {CGRectMake(640, 0, 800, 600), 640, 0}},
                       pattern, 1440);
    });
}

// No X server, or one whose 16-bit screen the service cannot read (listed all the same): no
// images.
TEST(DisplayList, NoXServerOrAnUnreadableScreenGivesNoImages) {
    auto deep16 = XServer::Xvfb({640, 480}, 16);
    ASSERT_TRUE(deep16->Running()) << deep16->Log();
    for (const std::string& display : {std::string(), std::string(":97"), deep16->Display()}) {
        SCOPED_TRACE(display);
        InDisplayChild(display, [listed = display == deep16->Display()] {
            CGDisplayCount count = 5;
            CGDirectDisplayID ids[kCGMaxDisplays] = {};
            EXPECT_EQ(CGGetOnlineDisplayList(kCGMaxDisplays, ids, &count),
                      listed ? kCGErrorSuccess : kCGErrorFailure);
            EXPECT_EQ(count, listed ? 1u : 0u);
            const CGDirectDisplayID main = CGMainDisplayID(), id = listed ? main : 1;
            EXPECT_EQ(main, listed ? ids[0] : kCGNullDirectDisplay);
            EXPECT_EQ(CGDisplayPixelsWide(id), listed ? 640u : 0u);
            EXPECT_EQ(CGDisplayIDToOpenGLDisplayMask(id), listed ? 1u : 0u);
            EXPECT_EQ(CGDisplayCreateImage(id), nullptr);
            EXPECT_EQ(CGDisplayCreateImageForRect(id, CGRectMake(0, 0, 10, 10)), nullptr);
            EXPECT_EQ(CGWindowListCreateImage(CGRectMake(0, 0, 10, 10),
                                              kCGWindowListOptionOnScreenOnly, kCGNullWindowID,
                                              kCGWindowImageDefault),
                      nullptr);
        });
    }
}

// The displays of a screen cast, from the portal's words about its streams (GVariant text): the
// one at the origin first, ids the monitor streams' places + 1, what is ill-typed left out.
TEST(PortalDisplayList, FollowsTheStreamsPlacesAndSizes) {
    const std::pair<const char*, const char*> cases[] = {
        {"[(uint32 40, {'position': <(1920, 0)>, 'size': <(1280, 1024)>}),"
         " (41, {'position': <(0, 0)>, 'size': <(1920, 1080)>})]",
         "2 0,0 1920x1080; 1 1920,0 1280x1024; "},
        // Streams without a place lie side by side right of the placed ones.
        {"[(uint32 7, {'size': <(800, 600)>}), (8, {'position': <(0, 0)>, 'size': <(1024, 768)>}),"
         " (9, {'position': <(uint32 5, uint32 5)>, 'size': <(640, 480)>})]",
         "2 0,0 1024x768; 1 1024,0 800x600; 3 1824,0 640x480; "},
        // A window's stream is no monitor; streams without a size of the portal's type show
        // nothing; with none at the origin the first is the main display.
        {"[(uint32 5, {'source_type': <uint32 2>, 'size': <(300, 200)>}),"
         " (6, {'position': <(0, 0)>}), (7, {'size': <(int64 5, int64 5)>}),"
         " (8, {'position': <(-640, 0)>, 'size': <(640, 480)>, 'source_type': <uint32 1>}),"
         " (9, {'position': <(0, 480)>, 'size': <(640, 480)>})]",
         "3 -640,0 640x480; 4 0,480 640x480; "},
        {"[(uint32 1, 2)]", ""},
    };
    for (const auto& [streams, expected] : cases) {
        GVariant* parsed = g_variant_parse(nullptr, streams, nullptr, nullptr, nullptr);
        ASSERT_NE(parsed, nullptr) << streams;
        std::string displays;
        for (const ScreenDisplay& d : portal::PlaceStreams(portal::MonitorStreams(parsed)))
            displays += std::to_string(d.id) + " " + std::to_string(d.x) + "," +
                        std::to_string(d.y) + " " + std::to_string(d.width) + "x" +
                        std::to_string(d.height) + "; ";
        g_variant_unref(parsed);
        EXPECT_EQ(displays, expected) << streams;
    }
}

} // namespace
