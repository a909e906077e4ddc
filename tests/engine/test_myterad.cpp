#include "modem/pdu/pdu_peer.h"
#include "platform/gbk.h"
#include "store/spool.h"
#include "store/status_file.h"
#include "support/borrowed_port.h"
#include "support/engine_fixture.h"
#include "support/engine_under_test.h"
#include "support/fake_serial_port.h"
#include "support/memory_output.h"
#include "support/temp_dir.h"
#include "support/virtual_clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace {

// A scripted modem that also tells the test about every write, on the engine's thread.
class WatchedPort : public FakeSerialPort {
public:
    using FakeSerialPort::FakeSerialPort;
    std::size_t write(std::string_view bytes) override {
        std::size_t n = FakeSerialPort::write(bytes);
        if (on_write) {
            on_write(bytes);
        }
        return n;
    }
    std::function<void(std::string_view)> on_write;
};

std::vector<ModemReply> modem_rows() {
    return {
        {"AT+CMGF=0", "AT+CMGF=0\r\r\nOK\r\n"},   // PDU mode
        {"at+cmgs=", "\r\n> "},                   // prompt
        {"00", "\r\n+CMGS: 1\r\n\r\nOK\r\n"},     // PDU taken
        {"at+cmgl=4", "at+cmgl=4\r\n\r\nOK\r\n"}, // empty storage
    };
}

class Engine : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        port.standing(modem_rows());
    }
    void start() {
        engine = std::make_unique<EngineUnderTest>(options, output, clock, [this](const std::string& path) {
            opened_path = path;
            return open_fails ? nullptr : std::make_unique<BorrowedPort>(port);
        });
        engine->Resume();
    }
    // Ends the engine at the end of the cycle in which the modem is first asked for its inbox.
    void stop_at_first_listing() {
        port.on_write = [this](std::string_view bytes) {
            if (bytes.rfind("at+cmgl", 0) == 0) {
                engine->Terminate();
            }
        };
    }
    std::vector<std::string> destinations() const { return submitted_destinations(port); }

    VirtualClock clock{{2004, 5, 6, 7, 1, 5}};
    WatchedPort port{&clock};
    EngineOptions options;
    MemoryOutput output;
    bool open_fails = false;
    std::string opened_path;
    std::unique_ptr<EngineUnderTest> engine;
};

TEST_F(Engine, StartsPausedAndNeverTouchesThePortUntilResumed) {
    engine = std::make_unique<EngineUnderTest>(options, output, clock, [](const std::string&) {
        ADD_FAILURE() << "port opened while paused";
        return nullptr;
    });
    EXPECT_TRUE(engine->Suspended());
    engine.reset(); // shutting down a never-started engine returns at once
    EXPECT_TRUE(output.events().empty());
    EXPECT_FALSE(exists("status.txt")); // an engine never started says nothing about itself
}

TEST_F(Engine, StartUpPutsTheModemInPduModeAndShowsReady) {
    put_file("server.txt", "[SET]\r\nCOM=COM3\r\nRATE=9600\r\n");
    stop_at_first_listing();
    start();
    engine->WaitFor();
    EXPECT_EQ(opened_path, "/dev/ttyS2");
    EXPECT_EQ(port.configured(), std::vector<std::uint32_t>{9600});
    // A submission a killed engine left half typed is cancelled first.
    EXPECT_EQ(port.writes().at(0).bytes, "\x1b");
    EXPECT_EQ(port.writes().at(1).bytes, "AT+CMGF=0\r\n");
    std::vector<int> sleeps = clock.sleeps();
    EXPECT_EQ(std::vector<int>(sleeps.begin(), sleeps.begin() + 3), (std::vector<int>{2500, 3560, 2000}));
    std::vector<std::string> events = output.events();
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(events[0], "caption:" + gbk("Velmora短信网关--企业短消息服务器  ：   收发进程已启动"));
    EXPECT_EQ(events[1], "replace:" + gbk("系统已准备好，开始收发信息..................................!\r\n"));
    EXPECT_EQ(events[2], "prepend:>>>>>OK!\r\n");
    EXPECT_EQ(events[3], "prepend:OK!\r\n");
    EXPECT_TRUE(engine->Finished());
    EXPECT_FALSE(engine->StartupFailed());
    EXPECT_TRUE(port.closed());
    std::string trace = file_bytes("sms.log");
    EXPECT_EQ(trace.rfind("com=.../dev/ttyS2\r\n", 0), 0u);
    EXPECT_NE(trace.find("rate..9600\r\nSetCOM return..1\r\nstar...COM3,9600\r\n"), std::string::npos);
    EXPECT_TRUE(exists("log/SUCC2004-5-6.log"));
    EXPECT_TRUE(exists("2004-5-6/qury"));
}

TEST_F(Engine, MissingPortGivesFailureReportA) {
    put_file("server.txt", "[SET]\r\nCOM=/nonexistent/ttyVMSMS1\r\n");
    open_fails = true;
    start();
    engine->WaitFor();
    EXPECT_TRUE(engine->StartupFailed());
    EXPECT_EQ(output.caption(), "velmora SMS server ");
    // The old words, then the device and what is wrong with it.
    const std::string cause =
        gbk("串口 /nonexistent/ttyVMSMS1 无法打开：没有这个设备：检查数据线是否插好，串口名称是否正确");
    EXPECT_EQ(output.monitor(), gbk("..数据线没有准备好，或COM口忙!\r\n数据线没有准备好，或COM口忙!"
                                    "请先关闭系统，检查后重试!\r\n\r\n") +
                                    cause + "\r\n");
    EXPECT_NE(file_bytes("sms.log").find("create com err. \r\n" + cause + "\r\n"), std::string::npos);
    EXPECT_EQ(read_status_file()->state, EngineRunState::PortFailed);
    // A finished engine cannot be resumed again.
    engine->Suspend();
    engine->Resume();
    EXPECT_TRUE(engine->Suspended());
}

TEST_F(Engine, RejectedRateGivesFailureReportB) {
    port.set_accepts_configure(false);
    start();
    engine->WaitFor();
    EXPECT_TRUE(engine->StartupFailed());
    EXPECT_EQ(output.monitor(), gbk("...!!! 数据线没有准备好，或COM口忙!\r\n!!! 请先关闭系统，检查后重试!\r\n") + "1");
    EXPECT_NE(file_bytes("sms.log").find("SetCOM return..0"), std::string::npos);
    EXPECT_TRUE(port.closed());
}

TEST_F(Engine, WiderCompatibilityGoesOnWithARejectedRate) {
    port.set_accepts_configure(false);
    options.wider_compatibility = true;
    stop_at_first_listing();
    start();
    engine->WaitFor();
    EXPECT_FALSE(engine->StartupFailed());
    EXPECT_EQ(port.writes().at(0).bytes, "\x1b");
    EXPECT_EQ(port.writes().at(1).bytes, "AT+CMGF=0\r\n");
}

TEST_F(Engine, PauseInTheMiddleOfARecordContinuesWithTheSameRecipient) {
    ensure_day_dirs("2004-5-6");
    ASSERT_EQ(queue_outgoing_record("2004-5-6", "13900000001\r\n13900000002\r\n13900000003", "t", "x", clock), 1);
    std::atomic<int> commands{0};
    port.on_write = [&](std::string_view bytes) {
        if (bytes.rfind("at+cmgs=", 0) == 0 && ++commands == 2) {
            engine->Suspend(); // the operator presses stop while recipient 2 is being sent
        }
        if (bytes.rfind("at+cmgl", 0) == 0) {
            engine->Terminate();
        }
    };
    start();
    // Wait until the engine has stopped at its next safe point.
    std::size_t writes_when_paused = 0;
    for (int i = 0; i < 200; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (commands == 2 && port.writes().size() == writes_when_paused) {
            break;
        }
        writes_when_paused = port.writes().size();
    }
    EXPECT_TRUE(engine->Suspended());
    EXPECT_EQ(port.writes().back().bytes.rfind("at+cmgs=", 0), 0u); // stopped before recipient 2's PDU
    EXPECT_FALSE(exists("2004-5-6/send/acc"));
    // The engine writes its state once it has stopped writing to the port: on a loaded machine that
    // can come a moment after the loop above saw the port fall quiet.
    for (int i = 0; i < 200 && read_status_file()->state != EngineRunState::Paused; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(read_status_file()->state, EngineRunState::Paused);
    EXPECT_EQ(read_status_file()->since, "2004-5-6 7:01:05");
    engine->Resume();
    engine->WaitFor();
    EXPECT_EQ(read_status_file()->state, EngineRunState::Stopped);
    EXPECT_EQ(destinations(), (std::vector<std::string>{"8613900000001", "8613900000002", "8613900000003"}));
    EXPECT_EQ(file_bytes("2004-5-6/send/acc"), "1");
}

TEST_F(Engine, DayChangeWaitsForTheOldDaysQueue) {
    clock.set({2004, 5, 6, 23, 59, 50});
    ensure_day_dirs("2004-5-6");
    ensure_day_dirs("2004-5-7");
    ASSERT_EQ(queue_outgoing_record("2004-5-7", "13900000002", "t", "new day", clock), 1);
    ASSERT_EQ(queue_outgoing_record("2004-5-6", "13900000001", "t", "old day", clock), 1);
    std::atomic<int> pdus{0};
    port.on_write = [&](std::string_view bytes) {
        if (!bytes.empty() && bytes.back() == '\x1a' && ++pdus == 2) {
            engine->Terminate();
        }
    };
    start();
    engine->WaitFor();
    EXPECT_EQ(destinations(), (std::vector<std::string>{"8613900000001", "8613900000002"}));
    EXPECT_EQ(file_bytes("2004-5-6/send/acc"), "1");
    EXPECT_EQ(file_bytes("2004-5-7/send/acc"), "1");
    // The report logs keep the start day's name.
    std::string succ = file_bytes("log/SUCC2004-5-6.log");
    EXPECT_NE(succ.find("13900000002"), std::string::npos);
    EXPECT_FALSE(exists("log/SUCC2004-5-7.log"));
}

TEST_F(Engine, ShutdownWhilePausedClosesThePortAndEnds) {
    std::atomic<bool> paused{false};
    port.on_write = [&](std::string_view bytes) {
        if (bytes.rfind("at+cmgl", 0) == 0 && !paused) {
            paused = true;
            engine->Suspend();
        }
    };
    start();
    for (int i = 0; i < 500 && !paused; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(paused);
    for (int i = 0; i < 500 && read_status_file()->state != EngineRunState::Paused; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(read_status_file()->state, EngineRunState::Paused);
    engine->Shutdown();
    EXPECT_EQ(read_status_file()->state, EngineRunState::Stopped);
    EXPECT_TRUE(engine->Finished());
    EXPECT_FALSE(engine->StartupFailed());
    EXPECT_TRUE(port.closed());
}

} // namespace
