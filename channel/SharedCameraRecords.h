#pragma once

#include <cstddef>
#include <cstdint>

// Records passed to the component's entry points. Their sizes differ between the 32-bit and the
// 64-bit build, and an entry point accepts only its own build's size.
struct tagSHARED_CAMERA_BUFFER {
    uint32_t sizeofSHARED_CAMERA_BUFFER;
    void* frameBufferPtr;
    int32_t frameBufferRowBytes;
    int32_t frameBufferSizeBytes;
    int16_t frameWidth;
    int16_t frameHeight;
    uint32_t framePixelFormat;
};

struct tagSHARED_CAMERA_CONTROL {
    uint32_t sizeofSHARED_CAMERA_CONTROL;
    int16_t allowCameraConnections;
    int16_t fill;
};

#if defined(__LP64__)
static_assert(sizeof(tagSHARED_CAMERA_BUFFER) == 32);
static_assert(offsetof(tagSHARED_CAMERA_BUFFER, frameBufferPtr) == 8);
static_assert(offsetof(tagSHARED_CAMERA_BUFFER, frameBufferRowBytes) == 16);
static_assert(offsetof(tagSHARED_CAMERA_BUFFER, frameBufferSizeBytes) == 20);
static_assert(offsetof(tagSHARED_CAMERA_BUFFER, frameWidth) == 24);
static_assert(offsetof(tagSHARED_CAMERA_BUFFER, frameHeight) == 26);
static_assert(offsetof(tagSHARED_CAMERA_BUFFER, framePixelFormat) == 28);
#else
static_assert(sizeof(tagSHARED_CAMERA_BUFFER) == 24);
static_assert(offsetof(tagSHARED_CAMERA_BUFFER, frameBufferPtr) == 4);
static_assert(offsetof(tagSHARED_CAMERA_BUFFER, frameBufferRowBytes) == 8);
static_assert(offsetof(tagSHARED_CAMERA_BUFFER, frameBufferSizeBytes) == 12);
static_assert(offsetof(tagSHARED_CAMERA_BUFFER, frameWidth) == 16);
static_assert(offsetof(tagSHARED_CAMERA_BUFFER, frameHeight) == 18);
static_assert(offsetof(tagSHARED_CAMERA_BUFFER, framePixelFormat) == 20);
#endif
static_assert(sizeof(tagSHARED_CAMERA_CONTROL) == 8);
static_assert(offsetof(tagSHARED_CAMERA_CONTROL, allowCameraConnections) == 4);

// The entry points' signatures; results are one-byte booleans.
extern "C" {
typedef bool (*SharedCameraControlFn)(tagSHARED_CAMERA_CONTROL*);
typedef bool (*SharedCameraBufferNFn)(int, tagSHARED_CAMERA_BUFFER*);
typedef bool (*SharedCameraRecordFn)(tagSHARED_CAMERA_BUFFER*);
typedef bool (*SharedCameraAddressFn)(void*);
}
static_assert(sizeof(bool) == 1);
