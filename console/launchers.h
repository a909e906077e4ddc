#pragma once

// The buttons of the bottom row that start companion programs, with the program each starts by its
// path relative to the working directory. A button whose program is missing does nothing visible, and
// nothing waits for or keeps track of what it started. The data-listening service is the gateway's own
// vmsms-listener when it stands beside the console's executable; the companion program is the
// fall-back.
struct Launcher {
    const char* button;
    const char* caption; // UTF-8
    const char* program;
    const char* bundled; // the gateway's own program started instead, or nullptr
};

inline constexpr Launcher launchers[] = {
    {"Button7", "启动系统数据侦听服务进程 ", "./listener1.exe", "vmsms-listener"},
    {"Button10", "手机号码自动生成 ", "./numgen.exe", nullptr},
    {"Button13", "全国号码段整理", "./rangetool.exe", nullptr},
};

// The maker's web site, which Button8 names and opens in the desktop's browser.
inline constexpr const char* maker_web_site = "http://www.velmora.example/";
inline constexpr const char* maker_web_site_caption = "www.velmora.example";
