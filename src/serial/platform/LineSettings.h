#pragma once

#include <asm/termbits.h>

#include "serial/AfComPortTypes.h"

namespace tarnel::platform {

// The translation between the DCB the core is given and the kernel's terminal settings, kept free of any
// device so it can be checked on its own (a pseudo-terminal forces 8 data bits and no parity).

// Raw 8-bit transfer: no echo, no line editing, no translation, no signals, no software flow control;
// the modem lines are ignored and reads return at once.
void MakeRaw(termios2& Settings);

// Sets speed, data bits, parity, stop bits and flow control of Settings from Dcb and keeps the rest.
// False, with Settings untouched, when Dcb asks for something a serial line cannot do.
bool DcbToTermios(const DCB& Dcb, termios2& Settings);

// Overwrites the line fields of Dcb with what Settings hold; fields termios has no notion of are kept.
void TermiosToDcb(const termios2& Settings, DCB& Dcb);

// The bits per second Settings stand for.
uint32_t TermiosSpeed(const termios2& Settings);

}  // namespace tarnel::platform
