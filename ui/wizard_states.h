// The wizard's states: which screen the view shows (value 9 is never used).
#pragma once

inline constexpr int STATE_INIT = 0;
inline constexpr int STATE_LANGUAGE = 1;
inline constexpr int STATE_CONNECT = 2;
inline constexpr int STATE_SEARCH = 3;
inline constexpr int STATE_FOUND = 4;
inline constexpr int STATE_ERASE = 5;
inline constexpr int STATE_TRANSFER = 6;
inline constexpr int STATE_TEST = 7;
inline constexpr int STATE_RESULT = 8;
inline constexpr int STATE_NOT_FOUND = 10;
inline constexpr int STATE_CHOOSE_PORT = 11;
inline constexpr int STATE_MANUAL_CHECK = 12;
inline constexpr int STATE_PRESS_ON_OFF = 13;
