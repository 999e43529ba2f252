// The child of RunProgram on Windows, which cannot fork: the test executable
// starts itself again with the option --program-run, naming a file that
// holds the script and the files for the record and for standard error.
// The test executable's main is here, because the child must not run tests.

#include "ProgramRun.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>

using Platform::Headless::BoxAnswer;
using Platform::Headless::Event;
using Platform::Headless::Script;

namespace {

constexpr char kOption[] = "--program-run=";

// --- the script as text: one item a line ----------------------------------

void WriteEvent(std::ostream& out, const Event& event)
{
    out << "event " << static_cast<int>(event.What) << ' ' << static_cast<int>(event.Button) << ' '
        << event.X << ' ' << event.Y << ' ' << (event.DoubleClick ? 1 : 0) << '\n';
}

Event ReadEvent(std::istream& in)
{
    std::string word;
    int what = 0, button = 0, doubleClick = 0;
    Event event;
    if (!(in >> word >> what >> button >> event.X >> event.Y >> doubleClick) || word != "event")
        throw std::runtime_error("broken event in the script");
    event.What = static_cast<Event::Kind>(what);
    event.Button = static_cast<Platform::MouseButton>(button);
    event.DoubleClick = doubleClick != 0;
    return event;
}

std::string ScriptText(const Script& script)
{
    std::ostringstream out;
    out << script.Screen.Width << ' ' << script.Screen.Height << ' ' << (script.InitFails ? 1 : 0)
        << ' ' << script.PresentFailures << ' ' << script.Events.size() << ' ' << script.Answers.size()
        << '\n'
        << script.ExecutableName << '\n';
    for (const Event& event : script.Events) WriteEvent(out, event);
    for (const BoxAnswer& answer : script.Answers) {
        out << "answer " << answer.Result << ' ' << answer.WhileOpen.size() << '\n';
        for (const Event& event : answer.WhileOpen) WriteEvent(out, event);
    }
    return out.str();
}

Script ReadScript(std::istream& in)
{
    Script script;
    int initFails = 0;
    std::size_t events = 0, answers = 0;
    if (!(in >> script.Screen.Width >> script.Screen.Height >> initFails >> script.PresentFailures >>
          events >> answers))
        throw std::runtime_error("broken script header");
    script.InitFails = initFails != 0;
    in.ignore(1);
    std::getline(in, script.ExecutableName);
    for (std::size_t i = 0; i < events; ++i) script.Events.push_back(ReadEvent(in));
    for (std::size_t i = 0; i < answers; ++i) {
        std::string word;
        BoxAnswer answer;
        std::size_t whileOpen = 0;
        if (!(in >> word >> answer.Result >> whileOpen) || word != "answer")
            throw std::runtime_error("broken answer in the script");
        for (std::size_t j = 0; j < whileOpen; ++j) answer.WhileOpen.push_back(ReadEvent(in));
        script.Answers.push_back(std::move(answer));
    }
    return script;
}

// --- files ------------------------------------------------------------------

std::string TemporaryFile(const char* kind)
{
    char folder[MAX_PATH + 1];
    char path[MAX_PATH + 1];
    if (!::GetTempPathA(sizeof folder, folder) || !::GetTempFileNameA(folder, kind, 0, path))
        throw std::runtime_error("no temporary file");
    return path;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::string g_callsPath;  // the child's file for its record

void WriteCalls(const std::string& calls)
{
    WriteFile(g_callsPath, calls);
}

// The child: reads the script and runs the program. The option's value is
// "<script file>|<record file>".
[[noreturn]] void RunChild(const std::string& value)
{
    const std::size_t bar = value.find('|');
    std::ifstream in(value.substr(0, bar), std::ios::binary);
    g_callsPath = value.substr(bar + 1);
    RunProgramHere(ReadScript(in), WriteCalls);
}

// The job that holds every child: closed when this process ends however it
// ends, which kills the children still in it.
HANDLE ChildrenJob()
{
    static const HANDLE job = [] {
        const HANDLE made = ::CreateJobObjectA(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (made) ::SetInformationJobObject(made, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        return made;
    }();
    return job;
}

// Runs this executable with the command line and waits for it; standard
// error goes to the file `errors`. Returns the exit status.
int RunSelf(const std::string& arguments, const std::string& errors)
{
    char self[MAX_PATH + 1];
    const DWORD length = ::GetModuleFileNameA(nullptr, self, sizeof self);
    if (length == 0 || length >= sizeof self) throw std::runtime_error("no module file name");
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE errorFile = ::CreateFileA(errors.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE nothing = ::CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, 0, &inherit, OPEN_EXISTING,
                                   0, nullptr);
    if (errorFile == INVALID_HANDLE_VALUE || nothing == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot open the child's standard files");
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nothing;
    startup.hStdOutput = nothing;
    startup.hStdError = errorFile;
    PROCESS_INFORMATION process{};
    std::string commandLine = "\"" + std::string(self) + "\" " + arguments;
    const BOOL started = ::CreateProcessA(self, commandLine.data(), nullptr, nullptr, TRUE,
                                          CREATE_SUSPENDED, nullptr, nullptr, &startup, &process);
    ::CloseHandle(errorFile);
    ::CloseHandle(nothing);
    if (!started) throw std::runtime_error("cannot start the child: error " + std::to_string(::GetLastError()));
    // In the job before it runs a single instruction, so that it dies with this process.
    ::AssignProcessToJobObject(ChildrenJob(), process.hProcess);
    ::ResumeThread(process.hThread);
    if (::WaitForSingleObject(process.hProcess, kChildSeconds * 1000) != WAIT_OBJECT_0) {
        ::TerminateProcess(process.hProcess, 1);
        ::WaitForSingleObject(process.hProcess, 10000);
        ADD_FAILURE() << "the program's child process did not finish within " << kChildSeconds
                      << " s and was killed";
    }
    DWORD status = 0;
    ::GetExitCodeProcess(process.hProcess, &status);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return static_cast<int>(status);
}

}  // namespace

ProgramRun RunProgram(const Script& script)
{
    const std::string scriptPath = TemporaryFile("scr");
    const std::string callsPath = TemporaryFile("cal");
    const std::string errorsPath = TemporaryFile("err");
    WriteFile(scriptPath, ScriptText(script));
    const int status = RunSelf("\"" + std::string(kOption) + scriptPath + "|" + callsPath + "\"", errorsPath);
    ProgramRun run;
    // A status the program never gives (an unhandled exception's code) is a crash.
    // Standard error is a text stream: its lines end in CR LF here.
    std::string errors = ReadFile(errorsPath);
    for (std::size_t at = errors.find("\r\n"); at != std::string::npos; at = errors.find("\r\n", at))
        errors.erase(at, 1);
    ReadChild(run, status >= 0 && status < 256 ? status : -1, ReadFile(callsPath), std::move(errors));
    ::DeleteFileA(scriptPath.c_str());
    ::DeleteFileA(callsPath.c_str());
    ::DeleteFileA(errorsPath.c_str());
    return run;
}

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.rfind(kOption, 0) == 0) RunChild(argument.substr(sizeof kOption - 1));
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
