#pragma once

// The loading notice and the page-number overlay look alike: grey, partly transparent, black
// text, so the user reads both as passing notes over the page.
inline constexpr char transientLabelStyle[] =
    "QLabel { background-color : rgba(200, 200, 200, 200);; color : black; }";
