#pragma once

#include "channel/SharedCameraRecords.h"
#include "channel/SharedCameraWait.h"

// The seven entry points a camera component exports, unmangled, and the wait for a frame beside
// them (SharedCameraWait.h). Each acts on the calling
// process's own SharedGWorldMemory::sSingleton.
#define SHARED_CAMERA_EXPORT extern "C" __attribute__((visibility("default")))

SHARED_CAMERA_EXPORT bool __public_fn_(tagSHARED_CAMERA_CONTROL* control);
SHARED_CAMERA_EXPORT bool __public_fn0(int n, tagSHARED_CAMERA_BUFFER* record);
SHARED_CAMERA_EXPORT bool __public_fn1(void* address);
SHARED_CAMERA_EXPORT bool __public_fn2(tagSHARED_CAMERA_BUFFER* record);
SHARED_CAMERA_EXPORT bool __public_fn3(void* address);
SHARED_CAMERA_EXPORT bool __public_fn4(void* address);
SHARED_CAMERA_EXPORT bool __public_fn5(void* address);

SHARED_CAMERA_EXPORT int SharedCameraAwaitPublish(const void* shown, int watch, int64_t nanoseconds,
                                                  const uint32_t* interrupt, uint32_t seen);
SHARED_CAMERA_EXPORT void SharedCameraInterruptWait(uint32_t* interrupt);
