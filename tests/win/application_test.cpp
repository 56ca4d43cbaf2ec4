// The application life cycle that the entry point drives: the error mode of per-process
// initialisation, the order of the steps, and exit code 0 whatever InitInstance answers.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "app/application.h"
#include "app/error_mode.h"

namespace {

class RecordingApp : public CApplication {
public:
    explicit RecordingApp(BOOL answer) : answer_(answer) {}

    BOOL InitApplication() override {
        steps += L"A";
        return TRUE;
    }
    BOOL InitInstance() override {
        steps += L"I";
        errorModeSeen = GetErrorMode();
        return answer_;
    }
    int ExitInstance() override {
        steps += L"E";
        return CApplication::ExitInstance();
    }

    std::wstring steps;
    UINT errorModeSeen = 0;

private:
    BOOL answer_;
};

// Restores the test process's error mode afterwards.
class SavedErrorMode {
public:
    SavedErrorMode() : mode_(GetErrorMode()) {}
    ~SavedErrorMode() { SetErrorMode(mode_); }

private:
    UINT mode_;
};

}  // namespace

TEST(ErrorMode, QuietFlagsAreAddedToWhatIsSet) {
    const struct { UINT before, after; } rows[] = {
        {0, SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX},
        {SEM_NOGPFAULTERRORBOX, SEM_NOGPFAULTERRORBOX | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX},
        {SEM_FAILCRITICALERRORS, SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX},
        {SEM_NOALIGNMENTFAULTEXCEPT | SEM_NOOPENFILEERRORBOX,
         SEM_NOALIGNMENTFAULTEXCEPT | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX},
    };
    for (const auto& row : rows) EXPECT_EQ(row.after, WithQuietErrorMode(row.before)) << row.before;
}

TEST(Application, LifeCycleAndExitCodeWhateverInitInstanceAnswers) {
    for (const BOOL answer : {FALSE, TRUE}) {
        SavedErrorMode saved;
        SetErrorMode(SEM_NOGPFAULTERRORBOX);
        RecordingApp app(answer);
        wchar_t commandLine[] = L"one two";
        const HINSTANCE instance = GetModuleHandleW(nullptr);

        EXPECT_EQ(0, RunApplication(app, instance, commandLine, SW_SHOWNORMAL)) << answer;

        EXPECT_EQ(L"AIE", app.steps) << "no message loop between InitInstance and the exit step";
        EXPECT_EQ(static_cast<UINT>(SEM_NOGPFAULTERRORBOX | SEM_FAILCRITICALERRORS |
                                    SEM_NOOPENFILEERRORBOX),
                  app.errorModeSeen)
            << "the quiet error mode is in place before InitInstance, and the existing flag kept";
        EXPECT_EQ(instance, app.m_hInstance);
        EXPECT_EQ(commandLine, app.m_lpCmdLine);
        EXPECT_EQ(SW_SHOWNORMAL, app.m_nCmdShow);
    }
}
