// The demo's built-in input: a few seconds of synthetic speech followed by
// a few seconds of synthetic music, mono at 48 kHz.
#pragma once
#include "audio.h"

Audio DemoSignal();
