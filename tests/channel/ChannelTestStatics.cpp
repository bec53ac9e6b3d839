#include "channel/SharedGWorldMemory.h"

// The component's load-time set-up owns these in the product. The tests keep the path empty
// until a test points it into its own temporary folder.
CoreUserFileName SharedGWorldMemory::sFileMappingPath;
SharedGWorldMemory SharedGWorldMemory::sSingleton;
