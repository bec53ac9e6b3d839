#pragma once

// Relocatable memory blocks. A handle points at a master pointer that points at the block; the
// block may move when it is resized unless the handle is locked. Every call sets the calling
// thread's MemError().
#include "platform/quicktime/QuickTimeTypes.h"

namespace platform::quicktime {

// The state byte's locked bit.
constexpr SInt8 kHandleLockedBit = SInt8(0x80);

QT_API Handle NewHandle(Size byteCount);
QT_API Handle NewHandleClear(Size byteCount);
QT_API void DisposeHandle(Handle h);
QT_API Size GetHandleSize(Handle h);
// A locked handle cannot grow (memFullErr); it can shrink in place.
QT_API void SetHandleSize(Handle h, Size newSize);
QT_API void HLock(Handle h);
QT_API SInt8 HGetState(Handle h);
QT_API void HSetState(Handle h, SInt8 flags);
QT_API OSErr MemError();

} // namespace platform::quicktime
