#pragma once

// What the user is told when a grab, copy or save is done or fails, and when the settings cannot
// be kept: one line in the log and a desktop notification with the same words.
#include <string>

// A title ("Saved Vistrel 0003.jpg", "Could not save the grab") and a text in plain words that
// says where, or which file or folder and why. With a folder, the notification offers to open it.
void TellUser(const std::string& title, const std::string& text, const std::string& folder = "");
