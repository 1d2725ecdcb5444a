#pragma once

#include <memory>
#include <string>
#include <vector>

class CAppConfigData;

// The folder the player keeps its settings and playlist in:
// $XDG_DATA_HOME (or ~/.local/share) / company / product. Empty when
// neither variable names a home.
std::wstring LocalDataFolder();

// Prepares the settings at start-up: creates the data folder and binds the
// store to "config.ini" in it (without a folder the player runs on defaults
// and saves nothing), resets and loads the store, and while no device is
// configured picks the maker's installed driver and saves that choice.
// False when no backend could be attached.
bool LoadStartupConfiguration(CAppConfigData& config, const std::wstring& dataFolder);

// The file arguments of a command line (flags, which start with '-', are
// dropped; '/' begins an absolute path here, not a flag), in order.
std::vector<std::wstring> FileArguments(const std::vector<std::wstring>& arguments);

// File arguments as one text for the running window: joined with '|'.
std::wstring JoinFileArguments(const std::vector<std::wstring>& files);
