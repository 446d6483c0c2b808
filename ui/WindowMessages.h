#pragma once

// Window message numbers and scroll codes the setup form keeps from its dialog heritage, so that the
// download worker, the form and the tests speak the same numbers.

// WM_USER + 100: enables (low byte of wParam 1) or disables Download and Open/Close Port.
constexpr unsigned WM_DOWNLOAD_CONTROLS = 0x464;

// Horizontal scroll notice codes.
constexpr int SB_LINELEFT = 0;
constexpr int SB_LINERIGHT = 1;
constexpr int SB_PAGELEFT = 2;
constexpr int SB_PAGERIGHT = 3;
constexpr int SB_THUMBPOSITION = 4;
constexpr int SB_THUMBTRACK = 5;
constexpr int SB_LEFT = 6;
constexpr int SB_RIGHT = 7;
constexpr int SB_ENDSCROLL = 8;
