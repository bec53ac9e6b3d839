#pragma once

// Integers kept in the user defaults under a key.
#include <string>

// The integer stored under the key, or the default when there is none or it is not a number.
long NSUserDefaultLoadKind(const char* inValueName, long defaultValue);
void NSUserDefaultSave(long value, const char* inValueName);
