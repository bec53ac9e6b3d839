#pragma once

#include <string>

// Why a client gets no frame, as far as this user's channel file tells, in plain words and naming
// the file: for messages only, since the entry points answer only yes or no. It reads a few words
// of the file and never maps it, locks it or logs. Empty when a frame is there to be read.
std::string ChannelDiagnosis();
