// The single-instance guard against the kernel's named mutexes: first and second instances, a
// mutex that cannot be opened, other failures, and the lifetime of the marker.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "app/single_instance_mutex.h"

namespace {

// A name no other test or process uses, in the machine-wide namespace like the real one.
std::wstring UniqueName() {
    static int counter = 0;
    return L"Global\\unpackstub-guard-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(++counter);
}

// A mutex whose access list is empty: everyone, its creator included, is refused an open.
HANDLE CreateUnopenableMutex(const std::wstring& name) {
    SECURITY_DESCRIPTOR descriptor;
    ACL emptyAcl;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    InitializeAcl(&emptyAcl, sizeof emptyAcl, ACL_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, &emptyAcl, FALSE);
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};
    return CreateMutexW(&attributes, FALSE, name.c_str());
}

}  // namespace

TEST(SingleInstanceMutex, ErrorsThatMeanAnotherInstance) {
    const struct { DWORD error; bool running; } rows[] = {
        {ERROR_ALREADY_EXISTS, true}, {ERROR_ACCESS_DENIED, true}, {ERROR_SUCCESS, false},
        {ERROR_INVALID_HANDLE, false}, {ERROR_PATH_NOT_FOUND, false},
        {ERROR_INVALID_NAME, false}, {ERROR_NOT_ENOUGH_MEMORY, false}, {182, false},
        {184, false}, {4, false}, {6, false}, {0x80000005, false}, {0xFFFFFFFF, false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.running, IsAlreadyRunningError(row.error)) << row.error;
}

TEST(SingleInstanceMutex, FirstInstanceThenSecondWhileTheFirstHoldsIt) {
    const std::wstring name = UniqueName();
    SetLastError(ERROR_ALREADY_EXISTS);  // a stale error must not pass for the creation's own
    SingleInstanceMutex first(name.c_str());
    EXPECT_FALSE(first.IsAlreadyRunning());
    EXPECT_EQ(ERROR_SUCCESS, first.LastError());
    ASSERT_NE(nullptr, first.Handle());
    DWORD flags = 0;
    ASSERT_TRUE(GetHandleInformation(first.Handle(), &flags));
    EXPECT_EQ(0u, flags & HANDLE_FLAG_INHERIT) << "a payload must not inherit the marker";

    {
        SingleInstanceMutex second(name.c_str());
        EXPECT_TRUE(second.IsAlreadyRunning());
        EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), second.LastError());
    }
    // The second instance's end leaves the first one's marker in place.
    SingleInstanceMutex third(name.c_str());
    EXPECT_TRUE(third.IsAlreadyRunning());
}

TEST(SingleInstanceMutex, MarkerEndsWithTheLastHolder) {
    const std::wstring name = UniqueName();
    {
        SingleInstanceMutex first(name.c_str());
        ASSERT_FALSE(first.IsAlreadyRunning());
    }  // the destructor closes the handle
    SingleInstanceMutex afterDestructor(name.c_str());
    EXPECT_FALSE(afterDestructor.IsAlreadyRunning());

    afterDestructor.Close();
    EXPECT_EQ(nullptr, afterDestructor.Handle());
    afterDestructor.Close();  // a second Close does nothing
    SingleInstanceMutex afterClose(name.c_str());
    EXPECT_FALSE(afterClose.IsAlreadyRunning());

    // Create on an object that holds the marker closes its own handle first: it then meets only
    // the other holder's.
    afterClose.Create();
    EXPECT_FALSE(afterClose.IsAlreadyRunning());
    afterDestructor.Create();
    EXPECT_TRUE(afterDestructor.IsAlreadyRunning());
    afterClose.Close();
    afterDestructor.Create();
    EXPECT_FALSE(afterDestructor.IsAlreadyRunning()) << "its own earlier handle was closed";
}

TEST(SingleInstanceMutex, MutexThatCannotBeOpenedCountsAsAnotherInstance) {
    const std::wstring name = UniqueName();
    const HANDLE locked = CreateUnopenableMutex(name);
    ASSERT_NE(nullptr, locked);
    SingleInstanceMutex guard(name.c_str());
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), guard.LastError());
    EXPECT_EQ(nullptr, guard.Handle());
    EXPECT_TRUE(guard.IsAlreadyRunning());
    CloseHandle(locked);
}

TEST(SingleInstanceMutex, OtherFailuresRunWithoutAGuard) {
    // The name taken by an object of another type: creation fails, and the run goes on.
    const std::wstring name = UniqueName();
    const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, name.c_str());
    ASSERT_NE(nullptr, event);
    SingleInstanceMutex guard(name.c_str());
    EXPECT_EQ(nullptr, guard.Handle());
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), guard.LastError());
    EXPECT_FALSE(guard.IsAlreadyRunning());
    CloseHandle(event);
}

TEST(SingleInstanceMutex, UnnamedGuardsNeverMeet) {
    SingleInstanceMutex one(nullptr);
    SingleInstanceMutex two(nullptr);
    EXPECT_NE(nullptr, one.Handle());
    EXPECT_NE(nullptr, two.Handle());
    EXPECT_FALSE(one.IsAlreadyRunning());
    EXPECT_FALSE(two.IsAlreadyRunning());
}

TEST(SingleInstanceMutex, OfManyStartedAtOnceExactlyOneProceeds) {
    const std::wstring name = UniqueName();
    constexpr int kInstances = 8;
    std::atomic<int> ready{0};
    std::atomic<int> looked{0};
    std::atomic<int> proceeding{0};
    std::atomic<bool> release{false};
    std::vector<std::thread> instances;
    for (int i = 0; i < kInstances; ++i) {
        instances.emplace_back([&] {
            ++ready;
            while (ready < kInstances) std::this_thread::yield();
            SingleInstanceMutex guard(name.c_str());
            if (!guard.IsAlreadyRunning()) ++proceeding;
            ++looked;
            while (!release) std::this_thread::yield();  // hold the marker until all have looked
        });
    }
    while (looked < kInstances) std::this_thread::yield();
    release = true;
    for (auto& t : instances) t.join();
    EXPECT_EQ(1, proceeding.load());
}
