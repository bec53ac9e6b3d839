#pragma once

// The application's user defaults: strings and integers under keys, each keeping its type.
// Values live in memory from the first use and go to the store on synchronize(). The standard
// store is the settings file of the domain "com.tarnwick.Vistrel" (set by the application);
// without a store the defaults live in memory only.
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <variant>

namespace platform::appkit {

using NSDefaultsValue = std::variant<long, std::string>;
using NSDefaultsValues = std::map<std::string, NSDefaultsValue>;

struct NSUserDefaultsStore {
    std::function<NSDefaultsValues()> load;
    std::function<bool(const NSDefaultsValues&)> save;
};

class NSUserDefaults {
public:
    static NSUserDefaults& standardUserDefaults();
    // Replaces the store and reloads the values from it.
    void setStore(NSUserDefaultsStore store);

    std::optional<NSDefaultsValue> objectForKey(const std::string& key) const;
    // A string, or an integer's decimal text; nothing when the key is missing.
    std::optional<std::string> stringForKey(const std::string& key) const;
    // An integer, or the leading number of a string; 0 when the key is missing.
    long integerForKey(const std::string& key) const;
    void setObject_forKey(const std::string& value, const std::string& key);
    void setInteger_forKey(long value, const std::string& key);
    void removeObjectForKey(const std::string& key);
    // Writes the values to the store; true when there is none or it took them.
    bool synchronize();

private:
    NSDefaultsValues mValues;
    NSUserDefaultsStore mStore;
};

} // namespace platform::appkit
