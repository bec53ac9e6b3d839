#include "app/broadcast/NSUIPersistentPrefs.h"

#include "core/CoreVerify.h"
#include "platform/appkit/NSUserDefaults.h"

#include <variant>

using platform::appkit::NSUserDefaults;

long NSUserDefaultLoadKind(const char* inValueName, long defaultValue) {
    if (!VERIFY(inValueName)) return defaultValue;
    const auto value = NSUserDefaults::standardUserDefaults().objectForKey(inValueName);
    if (value && std::holds_alternative<long>(*value)) return std::get<long>(*value);
    return defaultValue;
}

void NSUserDefaultSave(long value, const char* inValueName) {
    if (!VERIFY(inValueName)) return;
    NSUserDefaults::standardUserDefaults().setInteger_forKey(value, inValueName);
}
