// abi32_record_probe <component object>: offers a 32-bit camera component's __public_fn0 (buffer
// 0) and then __public_fn2 a record of the 64-bit size (32) and of its own size (24), each in 32
// bytes filled with 0xA5. Prints per call "<result>:<the 32 bytes in hex>" for a 64-bit test.
#include "channel/SharedCameraRecords.h"

#include <cstdio>
#include <cstring>
#include <dlfcn.h>

int main(int argc, char** argv) {
    void* component = argc == 2 ? dlopen(argv[1], RTLD_NOW | RTLD_LOCAL) : nullptr;
    if (!component) {
        std::fprintf(stderr, "usage: abi32_record_probe <component object>\n");
        return 64;
    }
    auto fn0 = reinterpret_cast<SharedCameraBufferNFn>(dlsym(component, "__public_fn0"));
    auto fn2 = reinterpret_cast<SharedCameraRecordFn>(dlsym(component, "__public_fn2"));
    if (!fn0 || !fn2) {
        std::fprintf(stderr, "abi32_record_probe: %s\n", dlerror());
        return 2;
    }
    for (int call = 0; call < 4; ++call) {
        tagSHARED_CAMERA_BUFFER record[2]; // at least 32 bytes in either build
        std::memset(record, 0xA5, 32);
        record[0].sizeofSHARED_CAMERA_BUFFER = call % 2 ? 24 : 32;
        std::printf("%d:", call < 2 ? fn0(0, record) : fn2(record));
        for (int i = 0; i < 32; ++i)
            std::printf("%02x", reinterpret_cast<const unsigned char*>(record)[i]);
        std::printf("\n");
    }
    return 0;
}
