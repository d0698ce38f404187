#pragma once
#include <windows.h>

// Every message number of the program in one place, so that none collide.

// Thread messages of ThreadBase_CL workers lie in 1224..5320.
constexpr UINT WM_ORG_WORK_REQUEST = 1225;
constexpr UINT WM_ORG_QUIT = 1226;
constexpr UINT WM_ORG_DECODE_REQ = 1227;
constexpr UINT MSG_DECODE_RESULT = 1228;
constexpr UINT MSG_DECODE_CANCEL = 1229;
constexpr UINT MSG_DECODE_CANCELED = 1230;

// Window messages.
constexpr UINT MSG_COMPARE_FINISHED = 0x8321;
constexpr UINT MSG_SPLIT_MOVED = 0x3724;
constexpr UINT MSG_REFILL_FOLDERS = 0x3725;  // the stored folder list changed: show it again
constexpr UINT MSG_PICTURE_LOADED = 0x3740;  // a still picture decoded for the preview (PictureLoader_CL)
constexpr UINT MSG_GROUP_FOUND = 0x3726;     // search worker -> main window (sent): the scanner's last group is new
constexpr UINT MSG_UPDATE_ANSWER = 0x3727;   // lParam: the update server's UpdateAnswer*
constexpr UINT MSG_SETTINGS_UNSAVED = 0x3728;  // lParam: why settings cannot be written (std::wstring*)
constexpr UINT MSG_SIMILAR_NEWS = 0x3729;      // the similar search has news (BackgroundSimilarSearch_CL::TakeNews)

// Commands of the popup menus and the result pane (WM_COMMAND).
constexpr UINT ID_ADD_FOLDER = 0x3000;
constexpr UINT ID_REMOVE_FOLDER = 0x3001;
constexpr UINT ID_ALL_COMPARE = 0x3010;
constexpr UINT ID_OPEN_FOLDER = 0x3011;
constexpr UINT ID_PLAY = 0x3012;
constexpr UINT ID_DELETE_CHECKED = 0x3013;
constexpr UINT ID_APP_MENU = 0x3020;
constexpr UINT ID_APP_SETTING = 0x3021;
constexpr UINT ID_SUPPORT_SITE = 0x3022;
// The group list's menu.
constexpr UINT ID_TICK_KEEP_OLDEST = 0x3030;
constexpr UINT ID_TICK_KEEP_NEWEST = 0x3031;
constexpr UINT ID_TICK_KEEP_HIGHEST_FOLDER = 0x3032;
constexpr UINT ID_TICK_KEEP_SHORTEST_PATH = 0x3033;
constexpr UINT ID_UNTICK_ALL = 0x3034;
constexpr UINT ID_DELETE_TICKED_EVERYWHERE = 0x3035;
constexpr UINT ID_SAVE_RESULT = 0x3036;
constexpr UINT ID_TICK_KEEP_BEST_PICTURE = 0x3037;
constexpr UINT ID_FIRST_COMMAND = 0x3000;
constexpr UINT ID_LAST_COMMAND = 0x3037;
