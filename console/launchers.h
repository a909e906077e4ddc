#pragma once

// The buttons of the bottom row that start companion programs, with the program each starts by its
// path relative to the working directory. The programs live outside the gateway; a button whose
// program is missing does nothing visible, and nothing waits for or keeps track of what it started.
struct Launcher {
    const char* button;
    const char* caption; // UTF-8
    const char* program;
};

inline constexpr Launcher launchers[] = {
    {"Button7", "启动系统数据侦听服务进程 ", "./listener1.exe"},
    {"Button10", "手机号码自动生成 ", "./numgen.exe"},
    {"Button13", "全国号码段整理", "./rangetool.exe"},
};

// The maker's web site, which Button8 names and opens in the desktop's browser.
inline constexpr const char* maker_web_site = "http://www.velmora.example/";
inline constexpr const char* maker_web_site_caption = "www.velmora.example";
