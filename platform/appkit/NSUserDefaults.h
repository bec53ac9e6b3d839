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

// A store says what went wrong with it, in plain words, through the problem argument.
struct NSUserDefaultsStore {
    std::function<NSDefaultsValues(std::string& problem)> load;
    std::function<bool(const NSDefaultsValues&, std::string& problem)> save;
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
    // What went wrong with the store since the last call, in plain words; empty when nothing did.
    std::string takeStoreProblem();

private:
    NSDefaultsValues mValues;
    NSUserDefaultsStore mStore;
    std::string mStoreProblem;
};

} // namespace platform::appkit
