#pragma once

#include <string>

// Turns the Device setting of a registry entry into an ALSA PCM name:
//   usb:VVVV:PPPP  the card whose <proc>/cardN/usbid reads VVVV:PPPP -> "hw:N,0"
//   card:NAME      the card whose <proc>/cardN/id reads NAME (or card number N)
//   anything else  an ALSA PCM name as it stands ("hw:1,0", "default", ...)
// <proc> is /proc/asound, or the folder named by QP_PROC_ASOUND (tests).
struct AlsaDeviceName {
  bool found = false;
  std::string pcmName;  // when found
  int card = -1;        // the card resolved by usb: or card:, else -1
  std::string error;    // why not, when not found
};

AlsaDeviceName ResolveAlsaDevice(const std::string& device);
