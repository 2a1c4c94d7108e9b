#pragma once

class Defaults;

// Height in logical pixels of the strips stacked under the main strip, as the
// stored strip configuration ("stackedStripsJSON", falling back to the older
// single-strip settings) describes them. The ticker window adds it while the
// second strip is on and the strip is not in mini mode.
int stackedStripsHeight(const Defaults& defaults);
