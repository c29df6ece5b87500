// velt-robot: runs a Windows GUI program, logs every window it shows and
// answers its message boxes and dialogs from a script, so that end-to-end
// tests can drive an installer under Wine without a person at the screen.
//
//   velt-robot.exe [OPTION]... -- PROGRAM [ARGS...]
//   velt-robot.exe [OPTION]... --line COMMANDLINE
//
// Options:
//   --log FILE      write the log to FILE (default: standard output)
//   --do STEP       append one step to the script
//   --script FILE   append the steps of FILE, one per line (UTF-8; blank
//                   lines and lines starting with '#' are skipped)
//   --timeout SEC   kill the program and fail after SEC seconds (default 60)
//   --app APP       application name for CreateProcess; the command line
//                   still starts with PROGRAM, which then need not exist
//   --dir DIR       working directory of the program
//   --tree          also wait for every process the program started
//   --detached      start the program without a console, as the shell does
//                   when a user starts it: by default it shares the
//                   robot's console (Wine gives one even to a GUI program),
//                   and a console program it starts (a batch's cmd.exe)
//                   runs in that console; detached (DETACHED_PROCESS),
//                   such a program gets a console window of its own, with
//                   a title, as on a desktop
//   --leave TEXT    a box whose caption contains TEXT (a modeless dialog
//                   such as a progress dialog, which may or may not be seen
//                   in a quick run) is logged and left alone: it takes no
//                   step and is never unexpected; may be given more than once
//
// The program's command line is the rest of the robot's own command line
// after "--", untouched (under Wine: the arguments as Wine quoted them,
// those with blanks or quotes in double quotes), or the single argument of
// --line verbatim, for a test that needs a command line no shell argument
// list gives (say, an unquoted first word with a blank in it).
//
// Processes: the robot watches the program and every process started by it
// or by its descendants. A "box" is a visible top-level dialog (class
// #32770) of one of them; any other visible top-level window is a "window".
// Both are logged once when they appear; only boxes are answered. A box is
// logged (and numbered) once it can be read whole: its program answers
// every message the robot sends to read it, and the box is still visible
// after them. Until then the robot waits for it, with no fixed settle time;
// one that goes before it could be read (a modeless dialog of a program too
// busy to answer, or one being closed; never a question, which waits in
// its message loop) is noted as "process N box gone unread".
//
// Steps: each box that appears takes the next step of the script, in the
// order the boxes appear. A step is a list of items separated by "|" (write
// "||" for a "|" inside a text), applied left to right:
//   caption=TEXT      the box's caption must contain TEXT
//   text=TEXT         one of the box's static texts must contain TEXT
//   type=ID:TEXT      set the text of edit control ID
//   pick=ID:#N        select entry N (from 0) of list or combo box ID and
//   pick=ID:TEXT        notify the dialog; or the entry whose text is TEXT
//   dblclick=ID:ENTRY as pick, then notify a double click
//   press=ID          click the button with control id ID (IDOK=1,
//   press=TEXT          IDCANCEL=2, IDYES=6, IDNO=7), or the button whose
//                       text without '&' is TEXT (case ignored)
//   close             send the box WM_CLOSE
//   keep              leave the box as it is (a modeless dialog)
//   log               log the box again, as it is now (texts that changed
//                       since it appeared: a status line, a selection)
//   waitfile=PATH     wait until the file PATH exists (the test creates it
//                       when the box may go on; the timeout still holds)
// Numbers are decimal or 0x-hexadecimal. A box takes its step once it has
// been read (see above) while it is still visible. A box whose step pressed
// a button that opened another box owned by it is answered again, by the
// next step, once that box has closed and the first one is ready again: its
// program has answered the robot's message (it waits in its message loop
// again, rather than closing the box) and it is visible and enabled (a
// dialog's "Browse..." button, say).
//
// Exit codes: the program's own exit code when it ends normally, and
//   100  bad robot command line or script, or the program did not start
//   101  a box appeared that no step answers, or that does not match its
//        step (its caption and text go to stderr)
//   102  timeout
//   103  a step could not be applied (no such control, disabled button)
//   104  the program ended with steps left over
// On 101-103 the robot kills every watched process first.
//
// Log: one line per fact, "<kind> <n> <what>[: <text>]", where kind is box,
// window or process and n counts them from 1 in order of appearance.
// Texts are written in UTF-8 with the backslash, CR, LF and TAB as \\, \r,
// \n and \t.
//   process 1 started: Z:\\path\\program.exe    (1 is the program itself)
//   process 2 started: copy.exe                 (a descendant, by file name)
//   process 2 exit: 0
//   box 1 process: 1
//   box 1 class: #32770
//   box 1 caption: FATAL ERROR
//   box 1 static 65535: Disk C: is full (42)    (a message box's text)
//   box 1 button 1: OK                          (also check, radio, group)
//   box 1 checked 1005                          (a checked check box)
//   box 1 disabled 1003                         (after the control's line)
//   box 1 edit 1015: C:\\Program Files\\Foo
//   box 1 list 1017 0: English                  (combo boxes: combo)
//   box 1 selected 1017 0
//   box 1 progress 0: 40
//   box 1 control 1020 SysTreeView32: text      (any other class)
//   box 1 type 1015: C:\\Other                  (what the robot did)
//   box 1 pick 1017 1: Deutsch
//   box 1 press 1: OK
//   box 1 log                                   (then its lines once more)
//   box 1 waitfile: Z:\\work\\go               (waiting for that file)
//   box 1 again                                 (answered again, see above)
//   box 1 gone
//   box 1 unexpected
//   box 1 left                                  (its caption was a --leave text)
//   process 2 box gone unread                   (gone before it could be read)
//   window 1 class: VLT Window Class            (and caption, controls, gone)
//   exit: 1                                     (the program's exit code)
//   timeout
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

const int kExitUsage = 100;
const int kExitUnexpectedBox = 101;
const int kExitTimeout = 102;
const int kExitStepFailed = 103;
const int kExitStepsLeft = 104;

const DWORD kPollMs = 20;           // the pace of the robot's loop
const UINT kSendTimeoutMs = 3000;   // a hung target must not hang the robot

// ---------------------------------------------------------------- texts

std::string Utf8(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(),
                                   NULL, 0, NULL, NULL);
    std::string result(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), &result[0],
                        size, NULL, NULL);
    return result;
}

std::wstring Wide(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), NULL, 0);
    std::wstring result(size, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), &result[0], size);
    return result;
}

// One log line holds one text: line breaks and tabs become visible, and
// a backslash is doubled so that Z:\tmp never reads back as a TAB.
std::wstring Escaped(const std::wstring& text)
{
    std::wstring result;
    for (wchar_t c : text) {
        if (c == L'\\')
            result += L"\\\\";
        else if (c == L'\r')
            result += L"\\r";
        else if (c == L'\n')
            result += L"\\n";
        else if (c == L'\t')
            result += L"\\t";
        else
            result += c;
    }
    return result;
}

std::wstring Trimmed(const std::wstring& text)
{
    size_t first = text.find_first_not_of(L" \t\r\n");
    if (first == std::wstring::npos)
        return std::wstring();
    size_t last = text.find_last_not_of(L" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::wstring WithoutAmpersands(const std::wstring& text)
{
    std::wstring result;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&' && i + 1 < text.size())
            ++i;                            // "&&" shows one '&'
        result += text[i];
    }
    return result;
}

// Parses a decimal or 0x-hexadecimal number. Returns 1 on success.
BYTE ParseNumber(const std::wstring& text, long* value)
{
    if (text.empty())
        return 0;
    wchar_t* end = NULL;
    long result = wcstol(text.c_str(), &end, 0);
    if (*end != L'\0')
        return 0;
    *value = result;
    return 1;
}

std::wstring Number(long value)
{
    wchar_t buffer[24];
    swprintf(buffer, 24, L"%ld", value);
    return buffer;
}

// ---------------------------------------------------------------- log

HANDLE g_log = INVALID_HANDLE_VALUE;

std::vector<std::wstring>* g_heldLines = NULL;  // lines held back, or NULL

void LogLine(const std::wstring& line)
{
    if (g_heldLines != NULL) {
        g_heldLines->push_back(line);
        return;
    }
    std::string bytes = Utf8(line) + "\n";
    DWORD done = 0;
    WriteFile(g_log, bytes.data(), (DWORD)bytes.size(), &done, NULL);
}

void PrintError(const std::wstring& message)
{
    std::string bytes = "velt-robot: " + Utf8(message) + "\n";
    fwrite(bytes.data(), 1, bytes.size(), stderr);
    fflush(stderr);
}

// ---------------------------------------------------------------- script

struct Action {
    std::wstring name;          // press, type, pick, dblclick, close, keep, log, waitfile
    std::wstring target;        // control id or button text; empty if none
    std::wstring value;         // text to type, entry to pick, file to wait for
};

struct Step {
    std::wstring source;        // the step as written, for messages
    std::wstring caption;       // required part of the caption, or empty
    std::wstring text;          // required part of a static text, or empty
    std::vector<Action> actions;
};

// Splits a step at "|"; "||" stands for one "|" inside an item.
std::vector<std::wstring> SplitItems(const std::wstring& step)
{
    std::vector<std::wstring> items(1);
    for (size_t i = 0; i < step.size(); ++i) {
        if (step[i] == L'|' && i + 1 < step.size() && step[i + 1] == L'|') {
            items.back() += L'|';
            ++i;
        } else if (step[i] == L'|') {
            items.emplace_back();
        } else {
            items.back() += step[i];
        }
    }
    return items;
}

// Splits "ID:VALUE" and checks that ID is a number.
BYTE SplitControlValue(const std::wstring& text, Action* action)
{
    size_t colon = text.find(L':');
    long id = 0;
    if (colon == std::wstring::npos || !ParseNumber(text.substr(0, colon), &id))
        return 0;
    action->target = text.substr(0, colon);
    action->value = text.substr(colon + 1);
    return 1;
}

// Parses one step. Returns 1 on success; otherwise `error` says why.
BYTE ParseStep(const std::wstring& source, Step* step, std::wstring* error)
{
    step->source = source;
    for (const std::wstring& raw : SplitItems(source)) {
        std::wstring item = Trimmed(raw);
        if (item.empty())
            continue;
        size_t equals = item.find(L'=');
        std::wstring name = item.substr(0, equals);
        std::wstring value = equals == std::wstring::npos ? L"" : item.substr(equals + 1);
        bool hasValue = equals != std::wstring::npos;
        Action action;
        action.name = name;
        if (name == L"caption" && hasValue) {
            step->caption = value;
            continue;
        } else if (name == L"text" && hasValue) {
            step->text = value;
            continue;
        } else if (name == L"press" && !value.empty()) {
            action.target = value;
        } else if ((name == L"type" || name == L"pick" || name == L"dblclick") && hasValue) {
            if (!SplitControlValue(value, &action)) {
                *error = L"\"" + item + L"\" needs ID:TEXT with a numeric ID";
                return 0;
            }
        } else if ((name == L"close" || name == L"keep" || name == L"log") && !hasValue) {
        } else if (name == L"waitfile" && !value.empty()) {
            action.value = value;
        } else {
            *error = L"cannot read \"" + item + L"\"";
            return 0;
        }
        step->actions.push_back(action);
    }
    return 1;
}

BYTE ReadScriptFile(const std::wstring& path, std::vector<std::wstring>* lines)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    std::string bytes;
    char buffer[4096];
    DWORD done = 0;
    while (ReadFile(file, buffer, sizeof buffer, &done, NULL) && done != 0)
        bytes.append(buffer, done);
    CloseHandle(file);
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        bytes.erase(0, 3);
    std::wstring text = Wide(bytes);
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        std::wstring trimmed = Trimmed(line);
        if (!trimmed.empty() && trimmed[0] != L'#')
            lines->push_back(trimmed);
        start = end + 1;
    }
    return 1;
}

// ---------------------------------------------------------------- command line

struct Options {
    std::wstring logPath;
    std::vector<Step> steps;
    DWORD timeoutMs = 60000;
    std::wstring application;   // --app, or empty
    std::wstring directory;     // --dir, or empty
    bool waitForTree = false;
    bool detached = false;      // --detached
    std::vector<std::wstring> leave;    // --leave captions
    std::wstring commandLine;   // everything after "--", or --line
};

// Splits a command line into words by the usual Windows rules and records
// where each word ends, so that the rest of the line can be passed on
// untouched. The first word (our own path) follows the simpler rule for
// program names: quoted up to the next quote, or up to a blank.
struct Word {
    std::wstring text;
    size_t end;                 // offset just after the word in the line
};

std::vector<Word> SplitCommandLine(const std::wstring& line)
{
    std::vector<Word> words;
    size_t i = 0;
    auto isBlank = [&](size_t at) { return line[at] == L' ' || line[at] == L'\t'; };
    while (i < line.size() && isBlank(i))
        ++i;
    if (i < line.size()) {
        Word program;
        if (line[i] == L'"') {
            size_t close = line.find(L'"', i + 1);
            if (close == std::wstring::npos)
                close = line.size();
            program.text = line.substr(i + 1, close - i - 1);
            i = close < line.size() ? close + 1 : close;
        }
        while (i < line.size() && !isBlank(i))
            program.text += line[i++];
        program.end = i;
        words.push_back(program);
    }
    for (;;) {
        while (i < line.size() && isBlank(i))
            ++i;
        if (i >= line.size())
            break;
        Word word;
        bool quoted = false;
        while (i < line.size() && (quoted || !isBlank(i))) {
            size_t slashes = 0;
            while (i < line.size() && line[i] == L'\\') {
                ++slashes;
                ++i;
            }
            if (i < line.size() && line[i] == L'"') {
                word.text.append(slashes / 2, L'\\');
                if (slashes % 2 == 1) {
                    word.text += L'"';
                } else if (quoted && i + 1 < line.size() && line[i + 1] == L'"') {
                    word.text += L'"';      // "" inside quotes is one quote
                    ++i;
                } else {
                    quoted = !quoted;
                }
                ++i;
            } else {
                word.text.append(slashes, L'\\');
                if (slashes == 0 && i < line.size())
                    word.text += line[i++];
            }
        }
        word.end = i;
        words.push_back(word);
    }
    return words;
}

BYTE UsageError(const std::wstring& message)
{
    PrintError(message);
    PrintError(L"usage: velt-robot.exe [--log FILE] [--script FILE | --do STEP]... "
               L"[--timeout SEC] [--app APP] [--dir DIR] [--tree] [--detached] [--leave TEXT]... "
               L"(-- PROGRAM [ARGS...] | --line COMMANDLINE)");
    return 0;
}

BYTE AddStep(const std::wstring& source, Options* options)
{
    Step step;
    std::wstring error;
    if (!ParseStep(source, &step, &error))
        return UsageError(L"step \"" + source + L"\": " + error);
    options->steps.push_back(step);
    return 1;
}

BYTE ParseOptions(const std::wstring& line, Options* options)
{
    std::vector<Word> words = SplitCommandLine(line);
    size_t i = 1;
    for (; i < words.size(); ++i) {
        const std::wstring& word = words[i].text;
        if (word == L"--")
            break;
        if (word == L"--tree") {
            options->waitForTree = true;
            continue;
        }
        if (word == L"--detached") {
            options->detached = true;
            continue;
        }
        if (i + 1 >= words.size())
            return UsageError(L"missing value after " + word);
        const std::wstring& value = words[++i].text;
        long seconds = 0;
        if (word == L"--log") {
            options->logPath = value;
        } else if (word == L"--do") {
            if (!AddStep(value, options))
                return 0;
        } else if (word == L"--script") {
            std::vector<std::wstring> lines;
            if (!ReadScriptFile(value, &lines))
                return UsageError(L"cannot read script " + value);
            for (const std::wstring& step : lines)
                if (!AddStep(step, options))
                    return 0;
        } else if (word == L"--timeout") {
            if (!ParseNumber(value, &seconds) || seconds <= 0)
                return UsageError(L"bad timeout " + value);
            options->timeoutMs = (DWORD)seconds * 1000;
        } else if (word == L"--app") {
            options->application = value;
        } else if (word == L"--dir") {
            options->directory = value;
        } else if (word == L"--leave") {
            options->leave.push_back(value);
        } else if (word == L"--line") {
            options->commandLine = value;
        } else {
            return UsageError(L"unknown option " + word);
        }
    }
    if (i >= words.size() && !options->commandLine.empty())
        return 1;
    if (i + 1 >= words.size() || !options->commandLine.empty())
        return UsageError(L"give either a program after -- or --line");
    size_t start = words[i].end;
    while (start < line.size() && (line[start] == L' ' || line[start] == L'\t'))
        ++start;
    options->commandLine = line.substr(start);
    return 1;
}

// ---------------------------------------------------------------- processes

struct Process {
    int number;                 // 1 for the program, then in order named;
                                // 0 until named
    DWORD id;
    HANDLE handle;
    bool named;                 // its "started" line has been logged
    bool ended;
};

std::vector<Process> g_processes;
std::set<DWORD> g_knownIds;     // ids of watched processes, ended ones too
std::set<DWORD> g_ignoredIds;   // ids of Wine's own processes
int g_processCount = 0;         // processes named so far

void LogStarted(Process& process, const std::wstring& name)
{
    process.number = ++g_processCount;
    LogLine(L"process " + Number(process.number) + L" started: " + Escaped(name));
    process.named = true;
}

Process& AddProcess(DWORD id, HANDLE handle)
{
    Process process = {0, id, handle, false, false};
    g_processes.push_back(process);
    g_knownIds.insert(id);
    return g_processes.back();
}

Process* FindProcess(DWORD id)
{
    for (Process& process : g_processes)
        if (process.id == id)
            return &process;
    return NULL;
}

// Wine starts its desktop and service processes on demand, as children of
// the program that first needs them; they are not the program's own and
// some outlive it.
bool IsWineService(const wchar_t* name)
{
    static const wchar_t* const kServices[] = {
        L"explorer.exe", L"conhost.exe", L"services.exe", L"winedevice.exe",
        L"plugplay.exe", L"rpcss.exe", L"svchost.exe", L"winemenubuilder.exe",
    };
    for (const wchar_t* service : kServices)
        if (_wcsicmp(name, service) == 0)
            return true;
    return false;
}

// Names a process once its name is known, or stops watching it when it
// turns out to be one of Wine's.
void NameProcess(Process& process, const wchar_t* name)
{
    if (process.named || name[0] == L'\0')
        return;
    if (!IsWineService(name)) {
        LogStarted(process, name);
        return;
    }
    g_ignoredIds.insert(process.id);
    g_knownIds.erase(process.id);
    process.named = process.ended = true;
    CloseHandle(process.handle);
    process.handle = NULL;
}

// Adds every process whose parent is watched. A child of a process that
// has ended still names it as parent, so ended parents count as well. A
// process that is still starting has no name yet: it is watched at once
// (its parent may end before the next scan) and named at a later scan.
void FindDescendants()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        DWORD id = entry.th32ProcessID;
        if (g_ignoredIds.count(id) || !g_knownIds.count(entry.th32ParentProcessID))
            continue;
        Process* process = FindProcess(id);
        if (process == NULL) {
            HANDLE handle = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE
                                        | PROCESS_QUERY_INFORMATION, FALSE, id);
            if (handle == NULL)
                continue;
            process = &AddProcess(id, handle);
        }
        NameProcess(*process, entry.szExeFile);
    }
    CloseHandle(snapshot);
}

void NoteEndedProcesses()
{
    for (Process& process : g_processes) {
        if (process.ended || WaitForSingleObject(process.handle, 0) != WAIT_OBJECT_0)
            continue;
        process.ended = true;
        if (!process.named)
            LogStarted(process, L"?");
        DWORD code = 0;
        GetExitCodeProcess(process.handle, &code);
        LogLine(L"process " + Number(process.number) + L" exit: " + Number((long)code));
    }
}

bool AllProcessesEnded()
{
    for (const Process& process : g_processes)
        if (!process.ended)
            return false;
    return true;
}

int ProcessNumberOf(DWORD id)
{
    for (const Process& process : g_processes)
        if (process.id == id && process.named && !process.ended)
            return process.number;
    return 0;
}

void KillProcesses()
{
    for (Process& process : g_processes)
        if (!process.ended)
            TerminateProcess(process.handle, 1);
    for (Process& process : g_processes)
        if (!process.ended)
            WaitForSingleObject(process.handle, 5000);
}

// ---------------------------------------------------------------- windows

struct Window {
    HWND handle;                // NULL once the window has gone
    std::wstring kind;          // "box" (a dialog) or "window"
    int number;                 // counts boxes and windows separately
    int process;                // number of the owning process
    bool answered;              // a step has been applied (and not undone)
    bool pressed;               // that step clicked a button
    bool hadChild;              // a box owned by this one appeared since
    bool present;               // seen by the latest scan
    std::wstring caption;       // as first seen: a closing box reads empty
    std::wstring Prefix() const { return kind + L" " + Number(number); }
};

std::vector<Window> g_windows;  // in order of appearance
std::map<HWND, int> g_unreadBoxes;  // boxes not yet readable -> process number
int g_boxCount = 0;
int g_windowCount = 0;

std::wstring ClassOf(HWND window)
{
    wchar_t name[256] = L"";
    GetClassNameW(window, name, 256);
    return name;
}

bool IsClass(HWND window, const wchar_t* name)
{
    return _wcsicmp(ClassOf(window).c_str(), name) == 0;
}

bool g_sendFailed = false;      // a message went unanswered since reset

LRESULT SendTo(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // While a box is read whole, one unanswered message is enough.
    if (g_sendFailed && g_heldLines != NULL)
        return -1;
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG,
                             kSendTimeoutMs, &result)) {
        g_sendFailed = true;
        return -1;
    }
    return (LRESULT)result;
}

// The text of a window of another process: WM_GETTEXT, which also reads
// the current contents of edit controls (GetWindowText would not).
std::wstring TextOf(HWND window)
{
    LRESULT length = SendTo(window, WM_GETTEXTLENGTH, 0, 0);
    if (length < 0)
        return std::wstring();
    std::vector<wchar_t> buffer(length + 2, L'\0');
    SendTo(window, WM_GETTEXT, length + 1, (LPARAM)buffer.data());
    return std::wstring(buffer.data());
}

// The entries of a list box or a combo box.
std::vector<std::wstring> EntriesOf(HWND control, bool combo)
{
    UINT getCount = combo ? CB_GETCOUNT : LB_GETCOUNT;
    UINT getLength = combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN;
    UINT getText = combo ? CB_GETLBTEXT : LB_GETTEXT;
    std::vector<std::wstring> entries;
    LRESULT count = SendTo(control, getCount, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT length = SendTo(control, getLength, i, 0);
        std::vector<wchar_t> buffer(length < 0 ? 2 : length + 2, L'\0');
        // The W message returns UTF-16 even across processes.
        if (length >= 0)
            SendTo(control, getText, i, (LPARAM)buffer.data());
        entries.emplace_back(buffer.data());
    }
    return entries;
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM list)
{
    ((std::vector<HWND>*)list)->push_back(window);
    return TRUE;
}

// The controls of a dialog, in creation order; not the parts that make up
// a control (the edit field inside a combo box, say).
std::vector<HWND> ControlsOf(HWND parent)
{
    std::vector<HWND> all, direct;
    EnumChildWindows(parent, CollectWindow, (LPARAM)&all);
    for (HWND child : all)
        if (GetAncestor(child, GA_PARENT) == parent)
            direct.push_back(child);
    return direct;
}

std::wstring ButtonKind(HWND button)
{
    switch (GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK) {
    case BS_CHECKBOX: case BS_AUTOCHECKBOX: case BS_3STATE: case BS_AUTO3STATE:
        return L"check";
    case BS_RADIOBUTTON: case BS_AUTORADIOBUTTON:
        return L"radio";
    case BS_GROUPBOX:
        return L"group";
    default:
        return L"button";
    }
}

std::wstring IdOf(HWND control)
{
    return Number((long)(DWORD)GetDlgCtrlID(control));
}

void LogControl(const std::wstring& prefix, HWND control)
{
    std::wstring id = IdOf(control);
    std::wstring className = ClassOf(control);
    const wchar_t* name = className.c_str();
    if (_wcsicmp(name, L"Static") == 0) {
        LogLine(prefix + L" static " + id + L": " + Escaped(TextOf(control)));
    } else if (_wcsicmp(name, L"Edit") == 0) {
        LogLine(prefix + L" edit " + id + L": " + Escaped(TextOf(control)));
    } else if (_wcsicmp(name, L"Button") == 0) {
        std::wstring kind = ButtonKind(control);
        LogLine(prefix + L" " + kind + L" " + id + L": " + Escaped(TextOf(control)));
        if ((kind == L"check" || kind == L"radio")
            && SendTo(control, BM_GETCHECK, 0, 0) == BST_CHECKED)
            LogLine(prefix + L" checked " + id);
    } else if (_wcsicmp(name, L"ListBox") == 0 || _wcsicmp(name, L"ComboBox") == 0) {
        bool combo = _wcsicmp(name, L"ComboBox") == 0;
        std::vector<std::wstring> entries = EntriesOf(control, combo);
        for (size_t i = 0; i < entries.size(); ++i)
            LogLine(prefix + (combo ? L" combo " : L" list ") + id + L" "
                    + Number((long)i) + L": " + Escaped(entries[i]));
        LRESULT selected = SendTo(control, combo ? CB_GETCURSEL : LB_GETCURSEL, 0, 0);
        if (selected >= 0)
            LogLine(prefix + L" selected " + id + L" " + Number((long)selected));
    } else if (_wcsicmp(name, L"msctls_progress32") == 0) {
        LogLine(prefix + L" progress " + id + L": "
                + Number((long)SendTo(control, PBM_GETPOS, 0, 0)));
    } else {
        LogLine(prefix + L" control " + id + L" " + className + L": "
                + Escaped(TextOf(control)));
    }
    if (!IsWindowEnabled(control))
        LogLine(prefix + L" disabled " + id);
}

void LogWindow(const Window& window)
{
    std::wstring prefix = window.Prefix();
    LogLine(prefix + L" process: " + Number(window.process));
    LogLine(prefix + L" class: " + Escaped(ClassOf(window.handle)));
    LogLine(prefix + L" caption: " + Escaped(TextOf(window.handle)));
    for (HWND control : ControlsOf(window.handle))
        LogControl(prefix, control);
}

// The caption and the static texts of a box, for messages on stderr.
std::wstring Describe(const Window& window)
{
    std::wstring text = window.Prefix() + L" \"" + Escaped(TextOf(window.handle)) + L"\"";
    for (HWND control : ControlsOf(window.handle)) {
        std::wstring label = Trimmed(TextOf(control));
        if (IsClass(control, L"Static") && !label.empty())
            text += L": " + Escaped(label);
    }
    return text;
}

// Logs a box if it can be read whole: its program answers every message
// the robot sends to read it (it is not too busy to pump messages, nor
// ending) and the box is still visible after the last one (a box is shown
// once it is made, and hidden first when it is closed). Otherwise logs
// nothing and returns false. A box logged is ready for its first answer
// while it is still visible.
bool LogReadableBox(Window& box)
{
    g_sendFailed = false;
    std::vector<std::wstring> lines;
    g_heldLines = &lines;
    box.caption = TextOf(box.handle);
    LogWindow(box);
    g_heldLines = NULL;
    if (g_sendFailed || !IsWindowVisible(box.handle))
        return false;
    for (const std::wstring& line : lines)
        LogLine(line);
    return true;
}

// A box is ready for another answer when its program has just answered a
// message (it waits in its message loop again, rather than closing the
// box) and the box is visible and enabled. The message comes first: a box
// that its program closes instead of waiting is hidden by the time the
// message is answered, or the message fails.
bool IsReadyAgain(HWND box)
{
    return !TextOf(box).empty() && IsWindowVisible(box) && IsWindowEnabled(box);
}

// Notes the visible top-level windows of the watched processes: logs the
// new ones and those that went away. A new box is logged once it can be
// read; until then it waits in g_unreadBoxes.
void ScanWindows()
{
    std::vector<HWND> all;
    EnumWindows(CollectWindow, (LPARAM)&all);
    for (Window& window : g_windows)
        window.present = false;
    std::map<HWND, int> unread;
    // EnumWindows lists the top of the z-order first; windows that appear
    // in the same scan are numbered from the bottom, the older first.
    for (auto it = all.rbegin(); it != all.rend(); ++it) {
        HWND handle = *it;
        DWORD processId = 0;
        GetWindowThreadProcessId(handle, &processId);
        int process = ProcessNumberOf(processId);
        if (process == 0 || !IsWindowVisible(handle))
            continue;
        bool known = false;
        for (Window& window : g_windows) {
            if (window.handle == handle) {
                window.present = true;
                known = true;
            }
        }
        if (known)
            continue;
        bool box = IsClass(handle, L"#32770");
        Window window;
        window.handle = handle;
        window.kind = box ? L"box" : L"window";
        window.number = box ? g_boxCount + 1 : ++g_windowCount;
        window.process = process;
        window.answered = !box;                     // only boxes take steps
        window.pressed = false;
        window.hadChild = false;
        window.present = true;
        if (box && !LogReadableBox(window)) {
            unread[handle] = process;
            continue;
        }
        if (box) {
            ++g_boxCount;
        } else {
            window.caption = TextOf(handle);
            LogWindow(window);
        }
        g_windows.push_back(window);
    }
    for (Window& window : g_windows) {
        if (!window.present && window.handle != NULL) {
            LogLine(window.Prefix() + L" gone");
            window.handle = NULL;
        }
    }
    for (const auto& entry : g_unreadBoxes) {
        bool logged = false;
        for (const Window& window : g_windows)
            logged = logged || window.handle == entry.first;
        if (!unread.count(entry.first) && !logged)
            LogLine(L"process " + Number(entry.second) + L" box gone unread");
    }
    g_unreadBoxes = unread;
}

bool HasOwnedWindow(HWND owner)
{
    for (const Window& window : g_windows)
        if (window.handle != NULL && GetWindow(window.handle, GW_OWNER) == owner)
            return true;
    return false;
}

// A box whose answer pressed a button that opened a box owned by it (a
// "Browse..." button, say) waits for another answer once that box has
// closed and it is ready and enabled again; it is then answered again as
// if it had just appeared.
void FindBoxesWaitingAgain()
{
    for (Window& window : g_windows) {
        if (window.handle == NULL || !window.answered || !window.pressed)
            continue;
        if (HasOwnedWindow(window.handle)) {
            window.hadChild = true;
            continue;
        }
        if (!window.hadChild || !IsReadyAgain(window.handle))
            continue;
        window.answered = window.pressed = window.hadChild = false;
        LogLine(window.Prefix() + L" again");
        LogWindow(window);
    }
}

// ---------------------------------------------------------------- answers

int Fail(int code, const std::wstring& message)
{
    PrintError(message);
    KillProcesses();
    return code;
}

DWORD g_start;                  // tick count when the program started
DWORD g_timeoutMs;

std::wstring OpenBoxes()
{
    std::wstring list;
    for (const Window& window : g_windows)
        if (window.handle != NULL && window.kind == L"box")
            list += L"\n  " + Describe(window);
    for (const auto& entry : g_unreadBoxes)
        list += L"\n  a box of process " + Number(entry.second) + L" that cannot be read";
    return list.empty() ? L" none" : list;
}

bool IsTimeUp()
{
    return GetTickCount() - g_start >= g_timeoutMs;
}

int TimedOut()
{
    LogLine(L"timeout");
    return Fail(kExitTimeout, L"timeout after " + Number(g_timeoutMs / 1000)
                + L" s; open boxes:" + OpenBoxes());
}

HWND FindButton(const Window& box, const std::wstring& target)
{
    long id = 0;
    if (ParseNumber(target, &id))
        return GetDlgItem(box.handle, (int)id);
    for (HWND control : ControlsOf(box.handle))
        if (IsClass(control, L"Button")
            && _wcsicmp(WithoutAmpersands(TextOf(control)).c_str(), target.c_str()) == 0)
            return control;
    return NULL;
}

// Returns 0 when the action was applied, otherwise the robot's exit code.
int Press(Window& box, const Action& action)
{
    HWND button = FindButton(box, action.target);
    if (button == NULL)
        return Fail(kExitStepFailed, Describe(box) + L": no button " + action.target);
    if (!IsWindowEnabled(button))
        return Fail(kExitStepFailed, Describe(box) + L": button " + action.target
                    + L" is disabled");
    LogLine(box.Prefix() + L" press " + IdOf(button) + L": " + Escaped(TextOf(button)));
    // Posted, not sent: a click whose handler opens another modal box
    // would not return until that box closes.
    PostMessageW(button, BM_CLICK, 0, 0);
    box.pressed = true;
    return 0;
}

int Type(Window& box, const Action& action)
{
    long id = 0;
    ParseNumber(action.target, &id);
    HWND edit = GetDlgItem(box.handle, (int)id);
    if (edit == NULL)
        return Fail(kExitStepFailed, Describe(box) + L": no control " + action.target);
    SendTo(edit, WM_SETTEXT, 0, (LPARAM)action.value.c_str());
    LogLine(box.Prefix() + L" type " + action.target + L": " + Escaped(action.value));
    return 0;
}

// Selects an entry of a list or combo box the way a click would: the
// selection message does not notify the dialog, so the robot sends the
// notification the control would have sent.
int Pick(Window& box, const Action& action)
{
    long id = 0;
    ParseNumber(action.target, &id);
    HWND control = GetDlgItem(box.handle, (int)id);
    bool combo = control != NULL && IsClass(control, L"ComboBox");
    if (control == NULL || (!combo && !IsClass(control, L"ListBox")))
        return Fail(kExitStepFailed, Describe(box) + L": no list " + action.target);
    std::vector<std::wstring> entries = EntriesOf(control, combo);
    long index = -1;
    if (!action.value.empty() && action.value[0] == L'#') {
        if (!ParseNumber(action.value.substr(1), &index))
            index = -1;
    } else {
        for (size_t i = 0; i < entries.size() && index < 0; ++i)
            if (entries[i] == action.value)
                index = (long)i;
    }
    if (index < 0 || index >= (long)entries.size())
        return Fail(kExitStepFailed, Describe(box) + L": list " + action.target
                    + L" has no entry " + action.value);
    LogLine(box.Prefix() + L" pick " + action.target + L" " + Number(index) + L": "
            + Escaped(entries[index]));
    SendTo(control, combo ? CB_SETCURSEL : LB_SETCURSEL, index, 0);
    WORD change = combo ? CBN_SELCHANGE : LBN_SELCHANGE;
    SendTo(box.handle, WM_COMMAND, MAKEWPARAM(id, change), (LPARAM)control);
    if (action.name == L"dblclick") {
        WORD doubleClick = combo ? CBN_DBLCLK : LBN_DBLCLK;
        PostMessageW(box.handle, WM_COMMAND, MAKEWPARAM(id, doubleClick), (LPARAM)control);
        box.pressed = true;
    }
    return 0;
}

int Apply(Window& box, const Action& action)
{
    if (action.name == L"press")
        return Press(box, action);
    if (action.name == L"type")
        return Type(box, action);
    if (action.name == L"pick" || action.name == L"dblclick")
        return Pick(box, action);
    if (action.name == L"close") {
        LogLine(box.Prefix() + L" close");
        PostMessageW(box.handle, WM_CLOSE, 0, 0);
    } else if (action.name == L"keep") {
        LogLine(box.Prefix() + L" keep");
    } else if (action.name == L"log") {
        LogLine(box.Prefix() + L" log");
        LogWindow(box);
    } else if (action.name == L"waitfile") {
        LogLine(box.Prefix() + L" waitfile: " + Escaped(action.value));
        while (GetFileAttributesW(action.value.c_str()) == INVALID_FILE_ATTRIBUTES) {
            if (IsTimeUp())
                return TimedOut();
            Sleep(kPollMs);
        }
    }
    return 0;
}

bool HasStaticText(const Window& box, const std::wstring& part)
{
    for (HWND control : ControlsOf(box.handle))
        if (IsClass(control, L"Static")
            && TextOf(control).find(part) != std::wstring::npos)
            return true;
    return false;
}

int Unexpected(const Window& box, const std::wstring& why)
{
    LogLine(box.Prefix() + L" unexpected");
    return Fail(kExitUnexpectedBox, L"unexpected " + Describe(box) + L" (" + why + L")");
}

bool IsLeftAlone(const Window& box, const std::vector<std::wstring>& leave)
{
    std::wstring caption = TextOf(box.handle);
    for (const std::wstring& text : leave)
        if (caption.find(text) != std::wstring::npos
            || box.caption.find(text) != std::wstring::npos)
            return true;
    return false;
}

// Answers every box that is ready, in order of appearance, with the next
// steps. Returns 0, or the robot's exit code when it must stop.
int AnswerBoxes(const Options& options, size_t* nextStep)
{
    const std::vector<Step>& steps = options.steps;
    for (Window& box : g_windows) {
        // A box that is being closed is no question; the next scan sees
        // it gone.
        if (box.handle == NULL || box.answered || !IsWindowVisible(box.handle))
            continue;
        if (IsLeftAlone(box, options.leave)) {
            box.answered = true;
            LogLine(box.Prefix() + L" left");
            continue;
        }
        if (*nextStep >= steps.size())
            return Unexpected(box, L"no step left");
        const Step& step = steps[*nextStep];
        std::wstring where = L"step " + Number((long)*nextStep + 1) + L" \""
                             + step.source + L"\"";
        if (TextOf(box.handle).find(step.caption) == std::wstring::npos)
            return Unexpected(box, where + L" expects the caption " + step.caption);
        if (!step.text.empty() && !HasStaticText(box, step.text))
            return Unexpected(box, where + L" expects the text " + step.text);
        ++*nextStep;
        box.answered = true;
        for (const Action& action : step.actions) {
            int failure = Apply(box, action);
            if (failure != 0)
                return failure;
        }
    }
    return 0;
}

}  // namespace

int main()
{
    g_log = GetStdHandle(STD_OUTPUT_HANDLE);
    Options options;
    if (!ParseOptions(GetCommandLineW(), &options))
        return kExitUsage;
    if (!options.logPath.empty()) {
        g_log = CreateFileW(options.logPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (g_log == INVALID_HANDLE_VALUE) {
            PrintError(L"cannot create the log " + options.logPath);
            return kExitUsage;
        }
    }

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    std::vector<wchar_t> commandLine(options.commandLine.begin(), options.commandLine.end());
    commandLine.push_back(L'\0');
    if (!CreateProcessW(options.application.empty() ? NULL : options.application.c_str(),
                        commandLine.data(), NULL, NULL, FALSE,
                        options.detached ? DETACHED_PROCESS : 0, NULL,
                        options.directory.empty() ? NULL : options.directory.c_str(),
                        &startup, &started)) {
        PrintError(L"cannot start " + options.commandLine + L": error "
                   + Number((long)GetLastError()));
        return kExitUsage;
    }
    CloseHandle(started.hThread);
    LogStarted(AddProcess(started.dwProcessId, started.hProcess), options.commandLine);

    g_start = GetTickCount();
    g_timeoutMs = options.timeoutMs;
    size_t nextStep = 0;
    for (;;) {
        FindDescendants();
        NoteEndedProcesses();
        ScanWindows();
        if (options.waitForTree ? AllProcessesEnded() : g_processes[0].ended)
            break;
        FindBoxesWaitingAgain();
        int failure = AnswerBoxes(options, &nextStep);
        if (failure != 0)
            return failure;
        if (IsTimeUp())
            return TimedOut();
        Sleep(kPollMs);
    }

    DWORD code = 0;
    GetExitCodeProcess(g_processes[0].handle, &code);
    LogLine(L"exit: " + Number((long)code));
    if (nextStep < options.steps.size()) {
        PrintError(L"the program ended (exit code " + Number((long)code) + L") with "
                   + Number((long)(options.steps.size() - nextStep))
                   + L" steps left; the next: " + options.steps[nextStep].source);
        return kExitStepsLeft;
    }
    return (int)code;
}
