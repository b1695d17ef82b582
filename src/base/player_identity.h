// Who the player says it is: its name, version, release date and platform. Scripts read them
// through the system library's version table (application, version and kernel with their dates,
// platform); the console banner, requester titles and error lines show the name, and network
// requests send "Quarnelix <version>" as their user agent. Applets test these values, so they are
// those of the release the applets were written for, not facts about this build or machine: the
// platform is "MacOS" on every machine the player runs on. What is true of the machine (byte
// order, processor, memory) is reported from the machine itself, never from here.
#pragma once

constexpr const char* QZ_PLAYER_NAME = "QuarnelixPlayer";
// The kernel reports the same version and date as the player.
constexpr const char* QZ_PLAYER_VERSION = "6.0";
constexpr const char* QZ_PLAYER_DATE = "14.02.15";  // dd.mm.yy
constexpr const char* QZ_PLAYER_PLATFORM = "MacOS";
