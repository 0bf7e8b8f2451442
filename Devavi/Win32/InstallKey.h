#pragma once

// Where the install state lives: three REG_SZ values under the game's own key in HKEY_CURRENT_USER.
//   InstallInfo        the game's installation folder, written by the game's setup; only read here
//   QuorvanInfo        the folder the pack was installed into; its presence means "installed"
//   QuorvanGeforce2mx  "1" or "0", the GeForce2MX compatibility flag of the settings dialog

constexpr char kInstallKeyPath[] = "Software\\KOEI\\Shin Sangokumusou 3\\Install";
constexpr char kInstallInfoValue[] = "InstallInfo";
constexpr char kQuorvanInfoValue[] = "QuorvanInfo";
constexpr char kQuorvanGeforce2mxValue[] = "QuorvanGeforce2mx";
