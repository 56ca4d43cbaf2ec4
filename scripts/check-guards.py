#!/usr/bin/env python3
"""Takes each guard of README's protection table out of a copy of the sources, builds the stub
(and the Windows-side tests where a row's test is one), runs that row's tests and reports whether
they failed, as they must. Not part of the test run: run it before a change to a guard is merged.

Needs the built trees (scripts/build.sh) and a Wine session (scripts/wine-session.sh sourced and
wine_session_start run, as scripts/test.sh does). Usage: scripts/check-guards.py [ROW-NAME...]
"""
import os
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# name, file, text of the guard, text without it (or lists of both, for a guard in several
# places of the file), tests ("E2E filter" / "WIN filter"). Wine lets no E2E run show some guards
# (it turns the access list into Unix mode bits; a Unix rename ignores sharing): a WIN test
# shows those.
GUARDS = [
    ("this run's run.bat only", "src/app/launch_sequence.cpp",
     "unpack.CheckWorkDirBeforeStart(command.ownFile.IsEmpty() ? nullptr : command.ownFile.c_str())",
     "unpack.CheckWorkDirBeforeStart(nullptr)",
     ["E2E Planted.BatchFilesOnThePathNeverRunInstead"]),
    ("no path the interpreter expands", "src/app/launch_sequence.cpp",
     "    if (start::HoldsExpandableText(workDir.c_str()) ||\n"
     "        start::HoldsExpandableText(command.batchOutput.c_str()))",
     "    if (false)",
     ["E2E Planted.TemporaryDirectoryNamedToExpand"]),
    ("the command's environment", "src/app/launch_sequence.cpp",
     "    if (!PrepareChildEnvironment(command.comspec.c_str()))\n"
     "        return L\"the command's environment could not be set\";",
     "",
     ["E2E Planted.TheInterpreterIgnoresTheUsersStartUpSettings"]),
    ("/d, no AutoRun", "src/app/launch_request.cpp",
     'L"/d /c run.bat > \\""', 'L"/c run.bat > \\""',
     ["E2E Planted.TheInterpreterIgnoresTheUsersStartUpSettings",
      "WIN LaunchRequest.DefaultAndPassThroughFields"]),
    ("leftovers only the stub's or the user's", "src/util/held_dir.cpp",
     "    if (rule && (!ReadOwnerFacts", "    if (false && rule && (!ReadOwnerFacts",
     ["E2E Planted.LeftoversWhereOnlyAnAdministratorMayChangeThemStay"]),
    ("a volume that keeps access lists", "src/package/work_dir.cpp",
     "!leftover::KeepsAccessLists(volumeFlags)", "false",
     ["WIN FreshWorkDir.VolumeWithoutAccessListsNoDirectory"]),
    ("the interpreter by its full path", "src/app/launch_request.cpp",
     'if (FormatInterpreter(buffer, systemDirectory, L"\\\\cmd.exe")) return;', "",
     ["WIN LaunchRequest.Interpreter"]),
    ("run.bat from the working directory only", "src/app/launch_sequence.cpp",
     '!SetCurrentDirectoryW(workDir.c_str()) || !unpack.IsHeldWorkDir(L".")', "false",
     ["E2E StubRun.PlantedAtTheWorkingDirectory"]),
    ("the working directory's protected list", "src/package/work_dir.cpp",
     "FILE_CREATE, FILE_DIRECTORY_FILE, security.Descriptor(), &error",
     "FILE_CREATE, FILE_DIRECTORY_FILE, nullptr, &error",
     ["WIN FreshWorkDir.MadeWithItsProtectedList"]),
    ("%TEMP% held without delete sharing", "src/util/held_dir.cpp",
     "FILE_LIST_DIRECTORY | FILE_TRAVERSE | READ_CONTROL | SYNCHRONIZE, kShare, nullptr,",
     "FILE_LIST_DIRECTORY | FILE_TRAVERSE | READ_CONTROL | SYNCHRONIZE, kShare | FILE_SHARE_DELETE, nullptr,",
     ["WIN WorkDirGuard.TemporaryDirectoryNoRenameWhileHeld"]),
    ("the batch output's path leads to the file held", "src/app/batch_output.cpp",
     "helddir::PathNamesHeld(path, m_hold)", "true",
     ["WIN BatchOutput.PathMustLeadToTheFileHeld"]),
    ("written files held until the check", "src/package/work_dir.cpp",
     "if (index == 0 || !m_written.Add(index, file)) CloseHandle(file);",
     "m_written.Add(index, nullptr);\n    CloseHandle(file);",
     ["WIN FreshWorkDir.EntriesThisRunDidNotWriteStopTheStart"]),
    ("DLLs from the system directory only", "src/app/dll_search_path.cpp",
     ["if (setDefaultDllDirectories) setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);",
      'SetDllDirectoryW(L"");'],
     ["", ""],
     ["WIN DllSearchPath.*"]),
]


def run(command, **kwargs):
    return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kwargs)


def build(tree, targets):
    result = run(["cmake", "--build", tree, "--target"] + targets)
    return result.returncode == 0, result.stdout


def run_test(test, tree):
    tier, name = test.split(" ", 1)
    if tier == "E2E":
        env = dict(os.environ, E2E_STUB=os.path.join(tree, "src", "UnPackFile.exe"))
        command = [os.path.join(ROOT, "build/host/tests/e2e/e2e_tests"), "--gtest_filter=" + name]
    else:
        env = dict(os.environ)
        command = [os.path.join(ROOT, "scripts/wine-run"), os.path.join(tree, "tests/win/win_tests.exe"),
                   "--gtest_filter=" + name]
    result = run(command, env=env, timeout=1500)
    ran = "[  PASSED  ]" in result.stdout or "[  FAILED  ]" in result.stdout
    return ran and result.returncode != 0, ran


def main(selected):
    work = tempfile.mkdtemp(prefix="check-guards.")
    copy, tree = os.path.join(work, "src"), os.path.join(work, "build")
    shutil.copytree(ROOT, copy, ignore=shutil.ignore_patterns("build", ".git", "dist"))
    configure = run(["cmake", "-S", copy, "-B", tree, "-G", "Ninja",
                     "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(copy, "cmake/mingw-i686.cmake"),
                     "-DCMAKE_BUILD_TYPE=Release"])
    if configure.returncode != 0:
        print(configure.stdout)
        return 2
    rows, status = [], 0
    for name, path, guard, without, tests in GUARDS:
        if selected and name not in selected:
            continue
        source = os.path.join(copy, path)
        with open(source) as f:
            text = f.read()
        guards = guard if isinstance(guard, list) else [guard]
        withouts = without if isinstance(without, list) else [without]
        if any(text.count(g) != 1 for g in guards):
            rows.append((name, "guard text not found once in " + path))
            status = 1
            continue
        changed = text
        for g, w in zip(guards, withouts):
            changed = changed.replace(g, w)
        with open(source, "w") as f:
            f.write(changed)
        targets = ["UnPackFile"] + (["win_tests"] if any(t.startswith("WIN") for t in tests) else [])
        built, output = build(tree, targets)
        if not built:
            rows.append((name, "does not build without the guard"))
            print(output[-2000:])
            status = 1
        else:
            for test in tests:
                failed, ran = run_test(test, tree)
                verdict = "fails without the guard" if failed else ("did not run" if not ran else "PASSES without the guard")
                if not failed:
                    status = 1
                rows.append((name, test + ": " + verdict))
        with open(source, "w") as f:
            f.write(text)
    shutil.rmtree(work)
    print("| guard | test: without the guard |")
    print("|---|---|")
    for name, verdict in rows:
        print("| %s | %s |" % (name, verdict))
    return status


if __name__ == "__main__":
    sys.exit(main(set(sys.argv[1:])))
