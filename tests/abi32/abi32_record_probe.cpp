// abi32_record_probe <component object>: loads a 32-bit camera component and offers its record
// entry points a record of the 64-bit size (32) and of its own size (24). Prints one line per call:
// "<entry point> <size> <result> <record bytes in hex>", the record being 32 bytes filled with 0xA5
// before the call. A 64-bit test reads these lines.
#include "channel/SharedCameraRecords.h"

#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <initializer_list>

namespace {

union Record {
    tagSHARED_CAMERA_BUFFER record;
    unsigned char bytes[32];
};

void Print(const char* name, unsigned size, bool result, const Record& record) {
    std::printf("%s %u %d ", name, size, result ? 1 : 0);
    for (unsigned char byte : record.bytes)
        std::printf("%02x", byte);
    std::printf("\n");
}

Record Patterned(unsigned size) {
    Record record;
    std::memset(record.bytes, 0xA5, sizeof record.bytes);
    record.record.sizeofSHARED_CAMERA_BUFFER = size;
    return record;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: abi32_record_probe <component object>\n");
        return 64;
    }
    void* component = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!component) {
        std::fprintf(stderr, "abi32_record_probe: %s\n", dlerror());
        return 2;
    }
    auto fn0 = reinterpret_cast<SharedCameraBufferNFn>(dlsym(component, "__public_fn0"));
    auto fn2 = reinterpret_cast<SharedCameraRecordFn>(dlsym(component, "__public_fn2"));
    if (!fn0 || !fn2) {
        std::fprintf(stderr, "abi32_record_probe: an entry point is missing\n");
        return 2;
    }
    for (unsigned size : {32u, 24u}) {
        Record record = Patterned(size);
        Print("__public_fn0", size, fn0(0, &record.record), record);
    }
    for (unsigned size : {32u, 24u}) {
        Record record = Patterned(size);
        Print("__public_fn2", size, fn2(&record.record), record);
    }
    return 0;
}
