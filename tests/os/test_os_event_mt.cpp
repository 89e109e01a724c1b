// Events and waits across threads: manual and automatic reset, time-outs,
// named events, waits on any or all of several events and threads.
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "msos.h"
#include "support.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

struct Closer {
    std::vector<qrv_handle> handles;
    ~Closer() {
        for (qrv_handle h : handles) EXPECT_EQ(msos_closehandle(h), 1);
    }
    qrv_handle add(qrv_handle h) {
        EXPECT_NE(h, 0);
        handles.push_back(h);
        return h;
    }
};

TEST(Events, AutomaticResetReleasesOneWaiterPerSet) {
    Closer c;
    qrv_handle e = c.add(msos_createevent(nullptr, 0, 0, nullptr));
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.emplace_back([&] {
            if (msos_waitforsingleobject(e, 5000) == MSOS_WAIT_OBJECT_0) ++woken;
        });
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(msos_setevent(e), 1);
        auto until = steady_clock::now() + milliseconds(2000);
        while (woken.load() < i + 1 && steady_clock::now() < until) std::this_thread::yield();
        EXPECT_EQ(woken.load(), i + 1);
    }
    for (std::thread &t : waiters) t.join();
    EXPECT_EQ(msos_waitforsingleobject(e, 0), MSOS_WAIT_TIMEOUT) << "consumed";
}

TEST(Events, ManualResetStaysSignalled) {
    Closer c;
    qrv_handle e = c.add(msos_createevent(nullptr, 1, 1, nullptr));
    std::vector<std::thread> waiters;
    std::atomic<int> woken{0};
    for (int i = 0; i < 4; ++i) {
        waiters.emplace_back([&] { woken += msos_waitforsingleobject(e, 5000) == MSOS_WAIT_OBJECT_0; });
    }
    for (std::thread &t : waiters) t.join();
    EXPECT_EQ(woken.load(), 4);
    EXPECT_EQ(msos_waitforsingleobject(e, 0), MSOS_WAIT_OBJECT_0);
}

TEST(Events, TimeoutsWaitAboutAsLongAsAsked) {
    Closer c;
    qrv_handle e = c.add(msos_createevent(nullptr, 0, 0, nullptr));
    auto start = steady_clock::now();
    EXPECT_EQ(msos_waitforsingleobject(e, 30), MSOS_WAIT_TIMEOUT);
    EXPECT_GE(steady_clock::now() - start, milliseconds(30));
    qrv_handle both[] = {e, e};
    start = steady_clock::now();
    EXPECT_EQ(msos_waitformultipleobjects(2, both, 0, 30), MSOS_WAIT_TIMEOUT);
    EXPECT_GE(steady_clock::now() - start, milliseconds(30));
    EXPECT_EQ(msos_waitforsingleobject(0, 0), MSOS_WAIT_FAILED);
    EXPECT_EQ(msos_waitformultipleobjects(0, both, 0, 0), MSOS_WAIT_FAILED);
    qrv_handle bad[] = {e, 42};
    EXPECT_EQ(msos_waitformultipleobjects(2, bad, 0, 0), MSOS_WAIT_FAILED);
}

TEST(Events, NamesShareOneEventWithinTheProcess) {
    Closer c;
    qrv_handle a = c.add(msos_createevent(nullptr, 1, 0, "qrv-shared"));
    qrv_handle b = c.add(msos_createevent(nullptr, 0, 1, "qrv-shared"));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_NE(a, b);
    EXPECT_EQ(msos_waitforsingleobject(a, 0), MSOS_WAIT_TIMEOUT) << "the first creation decides";
    EXPECT_EQ(msos_setevent(b), 1);
    EXPECT_EQ(msos_waitforsingleobject(a, 0), MSOS_WAIT_OBJECT_0);
}

// A thread that sets event e after 20 ms.
std::thread set_later(qrv_handle e) {
    return std::thread([e] {
        std::this_thread::sleep_for(milliseconds(20));
        msos_setevent(e);
    });
}

uint32_t finish_after_event(void *arg) {
    msos_waitforsingleobject(*static_cast<qrv_handle *>(arg), MSOS_INFINITE);
    return 17;
}

TEST(Waits, AnyReturnsTheFirstSignalledIndexAndAllWaitsForEveryOne) {
    Closer c;
    qrv_handle go = c.add(msos_createevent(nullptr, 0, 0, nullptr));
    qrv_handle other = c.add(msos_createevent(nullptr, 0, 0, nullptr));
    qrv_handle thread = c.add(msos_createthread(nullptr, 0, finish_after_event, &go, 0, nullptr));
    qrv_handle any[] = {other, thread};
    EXPECT_EQ(msos_waitformultipleobjects(2, any, 0, 20), MSOS_WAIT_TIMEOUT);
    std::thread setter = set_later(go);
    EXPECT_EQ(msos_waitformultipleobjects(2, any, 0, 5000), MSOS_WAIT_OBJECT_0 + 1) << "the thread ended";
    setter.join();

    qrv_handle all[] = {thread, other};
    EXPECT_EQ(msos_waitformultipleobjects(2, all, 1, 20), MSOS_WAIT_TIMEOUT);
    std::thread late = set_later(other);
    EXPECT_EQ(msos_waitformultipleobjects(2, all, 1, 5000), MSOS_WAIT_OBJECT_0);
    late.join();
    EXPECT_EQ(msos_waitforsingleobject(other, 0), MSOS_WAIT_TIMEOUT) << "wait-all consumed it";
    EXPECT_EQ(msos_terminatethread(thread, 1), 0);
}

TEST(Waits, WaitAllTakesEverySignalOrNone) {
    Closer c;
    qrv_handle a = c.add(msos_createevent(nullptr, 0, 0, nullptr));
    qrv_handle b = c.add(msos_createevent(nullptr, 0, 0, nullptr));
    qrv_handle pair[] = {a, b};
    std::atomic<bool> stop{false};
    std::atomic<int> single_takes{0}, pair_takes{0};
    std::thread taker([&] {
        while (!stop.load()) single_takes += msos_waitforsingleobject(a, 1) == MSOS_WAIT_OBJECT_0;
    });
    for (int i = 0; i < 200; ++i) {
        msos_setevent(a);
        msos_setevent(b);
        pair_takes += msos_waitformultipleobjects(2, pair, 1, 5) == MSOS_WAIT_OBJECT_0;
        msos_waitforsingleobject(b, 0);  // drop a b left behind
    }
    stop = true;
    taker.join();
    EXPECT_EQ(single_takes.load() + pair_takes.load(), 200 - (msos_waitforsingleobject(a, 0) == MSOS_WAIT_OBJECT_0))
        << "each signal of a went to exactly one waiter";
}

}  // namespace
