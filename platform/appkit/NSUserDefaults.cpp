#include "platform/appkit/NSUserDefaults.h"

#include <cstdlib>
#include <utility>

namespace platform::appkit {

NSUserDefaults& NSUserDefaults::standardUserDefaults() {
    static NSUserDefaults defaults;
    return defaults;
}

void NSUserDefaults::setStore(NSUserDefaultsStore store) {
    mStore = std::move(store);
    mStoreProblem.clear();
    mValues = mStore.load ? mStore.load(mStoreProblem) : NSDefaultsValues{};
}

std::optional<NSDefaultsValue> NSUserDefaults::objectForKey(const std::string& key) const {
    const auto found = mValues.find(key);
    if (found == mValues.end()) return std::nullopt;
    return found->second;
}

std::optional<std::string> NSUserDefaults::stringForKey(const std::string& key) const {
    const auto value = objectForKey(key);
    if (!value) return std::nullopt;
    if (const long* number = std::get_if<long>(&*value)) return std::to_string(*number);
    return std::get<std::string>(*value);
}

long NSUserDefaults::integerForKey(const std::string& key) const {
    const auto value = objectForKey(key);
    if (!value) return 0;
    if (const long* number = std::get_if<long>(&*value)) return *number;
    return std::strtol(std::get<std::string>(*value).c_str(), nullptr, 10);
}

void NSUserDefaults::setObject_forKey(const std::string& value, const std::string& key) {
    mValues[key] = value;
}

void NSUserDefaults::setInteger_forKey(long value, const std::string& key) {
    mValues[key] = value;
}

void NSUserDefaults::removeObjectForKey(const std::string& key) {
    mValues.erase(key);
}

bool NSUserDefaults::synchronize() {
    return !mStore.save || mStore.save(mValues, mStoreProblem);
}

std::string NSUserDefaults::takeStoreProblem() {
    return std::exchange(mStoreProblem, std::string());
}

} // namespace platform::appkit
