// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#pragma once

// Every name the launcher shares with the main application: file and
// directory names, INI keys and the defaults a new user starts with. Other
// programs read these files, so a name changed here breaks them.
namespace Names {
constexpr char DataDirectory[] = "Quillora";
constexpr char UserSettings[] = "user.ini";
constexpr char Settings[] = "setting.ini";
constexpr char Logs[] = "logs";
constexpr char Executable[] = "Quillora.exe";
constexpr char DefaultVersion[] = "1.0.0";
// Held by a launcher while it writes into the data directory.
constexpr char Lock[] = "launcher.lock";
} // namespace Names

namespace Keys {
// "setting.ini"
constexpr char CurrentVersion[] = "version/current_version";
constexpr char PreviousVersion[] = "version/previous_version";
constexpr char SoftwareCode[] = "code/software_code";

// "user.ini"
constexpr char Login[] = "config/login";
constexpr char Username[] = "config/username";
constexpr char Password[] = "config/password";
constexpr char ShowStream[] = "config/show_stream";
constexpr char Lang[] = "config/lang";
constexpr char ShowDeviceType[] = "config/showdevicetype";
} // namespace Keys

// A new user's preferences in "user.ini". Integers stay integers: the main
// application reads them as numbers.
namespace Defaults {
constexpr int Login = 0;
constexpr char Username[] = "admin";
constexpr char Password[] = "5820";
constexpr int ShowStream = 1;
constexpr char Lang[] = "zh_CN";
constexpr int ShowDeviceType = 0;
} // namespace Defaults
