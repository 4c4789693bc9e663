// Key press to repaint in the real vesk program: starts it on the X display of the environment with
// a private home and a generated list, presses keys through XTEST and times each press until the X
// server reports the first damage to the panel window (DAMAGE). Prints the median and the 90th
// percentile per list size, selection position and key.
//
// Each key is pressed only once the program's interface thread sleeps and its window has stopped
// changing, so a timing holds that key's work alone. The first damage is the first frame that
// answers the key: where a command waits before it moves a task (a completion shows its tick at
// once; a task moving to Next waits first), the time until then is part of the figure. Damage no
// wider than a text caret (its blinking) does not count. Every cycle of keys leaves the list as it
// found it (undoing its change), which is checked against the file once the program has written
// it. Every key is released at once, as in a quick tap: held until the repaint (which can take
// longer than the X server's repeat delay on a busy machine), it would repeat and act twice.
// KEY_REPAINT_TRACE=1 prints every press and keeps the private home.
//
// Run under a virtual display with a window manager, for example:
//   VESK_TEST_WINDOW_MANAGER=openbox tests/support/with-xvfb build/bench/key_repaint_bench build/vesk
//
// With --memory N it times nothing: it makes N edits through the keys instead (a new task, an edit of
// a title, a move down and a move up, in turn), waits until every thread of the program sleeps and
// reads the program's memory from /proc/<pid>/smaps_rollup before, during and after them, with the
// allocator's figures (the heap in use and held, through gdb when it is installed).
//
// With --freeze it looks for frozen frames while a long list is opened in a running vesk, reloaded,
// scrolled to its end and edited, pressing keys every few milliseconds throughout (see runFreeze).

#include <xcb/damage.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <csignal>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

double nowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

[[noreturn]] void die(const std::string& message)
{
    std::fprintf(stderr, "key_repaint_bench: %s\n", message.c_str());
    std::exit(1);
}

// The three places the selection is put, each a task with a title no other task contains, found
// through the search field.
struct Position {
    std::string name;
    std::string marker;
};
const std::vector<Position> kPositions {{"top", "xqtop"}, {"middle", "xqmiddle"}, {"end", "xqend"}};

// A list of `count` tasks: a tenth to do next, all but 20 of the rest pending, 20 done. The markers
// are the first task, the task half-way down and the fourth-last pending task.
std::string listText(int count)
{
    const int next = count / 10;
    const int done = 20;
    const int pending = count - next - done;
    const int middle = count / 2;
    const int end = next + pending - 4;
    std::string text;
    text.reserve(size_t(count) * 48);
    for (int i = 0; i < count; ++i) {
        if (i == next || i == next + pending)
            text += "---\n";
        if (i == 0)
            text += "xqtop ";
        else if (i == middle)
            text += "xqmiddle ";
        else if (i == end)
            text += "xqend ";
        text += "Task " + std::to_string(i) + ": call the supplier about order "
            + std::to_string(i * 7919 % 100000) + "\n";
        if (i % 5 == 0)
            text += "> Remember the invoice\n";
    }
    if (count - next - done <= 0)
        die("the list is too short");
    return text;
}

struct Sample {
    double ms;
    bool seen;
};

class XSession {
public:
    XSession()
    {
        m_connection = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_connection))
            die("cannot open the X display (set DISPLAY, or run under tests/support/with-xvfb)");
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        const xcb_query_extension_reply_t* damage = xcb_get_extension_data(m_connection, &xcb_damage_id);
        const xcb_query_extension_reply_t* test = xcb_get_extension_data(m_connection, &xcb_test_id);
        if (!damage || !damage->present || !test || !test->present)
            die("the X server lacks the DAMAGE or XTEST extension");
        m_damageEvent = damage->first_event + XCB_DAMAGE_NOTIFY;
        free(xcb_damage_query_version_reply(
            m_connection, xcb_damage_query_version(m_connection, 1, 1), nullptr));
        m_keySymbols = xcb_key_symbols_alloc(m_connection);
        m_netWmPid = atom("_NET_WM_PID");
    }
    ~XSession()
    {
        xcb_key_symbols_free(m_keySymbols);
        xcb_disconnect(m_connection);
    }

    // The viewable top-level window of the process, looked for below the root and one level of
    // window-manager frames.
    xcb_window_t windowOf(pid_t pid)
    {
        for (xcb_window_t top : children(m_root)) {
            if (isViewableWindowOf(top, pid))
                return top;
            for (xcb_window_t child : children(top))
                if (isViewableWindowOf(child, pid))
                    return child;
        }
        return XCB_NONE;
    }

    bool hasFocus(xcb_window_t window)
    {
        xcb_get_input_focus_reply_t* reply
            = xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr);
        const bool focused = reply && reply->focus == window;
        free(reply);
        return focused;
    }

    void watchDamage(xcb_window_t window)
    {
        if (m_damage != XCB_NONE)
            xcb_damage_destroy(m_connection, m_damage);
        m_damage = xcb_generate_id(m_connection);
        xcb_damage_create(m_connection, m_damage, window, XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
        xcb_flush(m_connection);
    }

    // Waits until `deadline` for the next damage; returns its time. Damage no wider than a text
    // caret is its blinking, which is no answer to a key.
    std::optional<double> nextDamage(double deadline)
    {
        for (;;) {
            while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
                const uint8_t type = event->response_type & 0x7f;
                bool isDamage = false;
                if (type == m_damageEvent) {
                    const xcb_rectangle_t area = reinterpret_cast<xcb_damage_notify_event_t*>(event)->area;
                    isDamage = area.width > caretWidth;
                    if (isDamage)
                        lastArea = area;
                }
                free(event);
                if (isDamage)
                    return nowMs();
            }
            if (xcb_connection_has_error(m_connection))
                die("lost the X display");
            const double left = deadline - nowMs();
            if (left <= 0)
                return std::nullopt;
            pollfd fd {xcb_get_file_descriptor(m_connection), POLLIN, 0};
            poll(&fd, 1, int(left) + 1);
        }
    }

    // Keeps the time of every damage wider than a caret that arrives until `deadline`.
    void collectDamage(double deadline, std::vector<double>& times)
    {
        while (const std::optional<double> damaged = nextDamage(deadline))
            times.push_back(*damaged);
    }

    // Asks the window manager to minimize window or to bring it back and activate
    // it: its program sees itself deactivated and activated again, as when the user switches to
    // another program and back.
    void setShown(xcb_window_t window, bool shown)
    {
        xcb_client_message_event_t message {};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = atom(shown ? "_NET_ACTIVE_WINDOW" : "WM_CHANGE_STATE");
        message.data.data32[0] = shown ? 2 : 3; // a pager's request; IconicState
        message.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(m_connection, 0, m_root,
            XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
            reinterpret_cast<const char*>(&message));
        xcb_flush(m_connection);
    }

    // The window's title (_NET_WM_NAME): a tabbed window shows its current tab's.
    std::string title(xcb_window_t window)
    {
        xcb_get_property_reply_t* property = xcb_get_property_reply(m_connection,
            xcb_get_property(m_connection, 0, window, atom("_NET_WM_NAME"), atom("UTF8_STRING"), 0, 256),
            nullptr);
        std::string text;
        if (property)
            text.assign(static_cast<const char*>(xcb_get_property_value(property)),
                size_t(xcb_get_property_value_length(property)));
        free(property);
        return text;
    }

    // Waits until the program's interface thread has been asleep (waiting for events) at three
    // looks 2 ms apart: it has handled the keys sent so far and the work they posted. Damage seen
    // meanwhile is dropped.
    void waitIdle(pid_t pid, double maxMs = 20000)
    {
        const std::string stat = "/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/stat";
        const double limit = nowMs() + maxMs;
        int asleep = 0;
        while (asleep < 3 && nowMs() < limit) {
            std::ifstream in(stat);
            std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            const size_t name = text.rfind(')');
            if (name == std::string::npos || name + 2 >= text.size())
                return;
            asleep = text[name + 2] == 'S' ? asleep + 1 : 0;
            nextDamage(nowMs() + 2);
        }
    }

    // Waits until every thread of the program (the writer of its file too) has been asleep at three
    // looks 10 ms apart.
    void waitAllIdle(pid_t pid, double maxMs = 60000)
    {
        const fs::path tasks = "/proc/" + std::to_string(pid) + "/task";
        const double limit = nowMs() + maxMs;
        int asleep = 0;
        while (asleep < 3 && nowMs() < limit) {
            bool all = true;
            std::error_code error;
            for (const auto& task : fs::directory_iterator(tasks, error)) {
                std::ifstream in(task.path() / "stat");
                std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
                const size_t name = text.rfind(')');
                all = all && name != std::string::npos && name + 2 < text.size() && text[name + 2] == 'S';
            }
            asleep = all ? asleep + 1 : 0;
            nextDamage(nowMs() + 10);
        }
    }

    // Waits until the window has been left undamaged for `quietMs` (at most `maxMs`).
    void waitQuiet(double quietMs, double maxMs = 20000)
    {
        const double limit = nowMs() + maxMs;
        while (nowMs() < limit)
            if (!nextDamage(std::min(limit, nowMs() + quietMs)))
                return;
    }

    xcb_keycode_t keycode(xcb_keysym_t symbol)
    {
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(m_keySymbols, symbol);
        if (!codes || codes[0] == XCB_NO_SYMBOL)
            die("no key for keysym " + std::to_string(symbol));
        const xcb_keycode_t code = codes[0];
        free(codes);
        return code;
    }

    void fake(bool press, xcb_keysym_t symbol)
    {
        xcb_test_fake_input(m_connection, press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, keycode(symbol),
            XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }

    void flush() { xcb_flush(m_connection); }

    static constexpr int caretWidth = 12;

    // The rectangle of the damage nextDamage() returned last.
    xcb_rectangle_t lastArea {};

    // Drops the damage already reported.
    void drain()
    {
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection))
            free(event);
    }

private:
    xcb_atom_t atom(const char* name)
    {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t result = reply ? reply->atom : XCB_NONE;
        free(reply);
        return result;
    }

    std::vector<xcb_window_t> children(xcb_window_t window)
    {
        std::vector<xcb_window_t> result;
        xcb_query_tree_reply_t* tree
            = xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, window), nullptr);
        if (!tree)
            return result;
        const xcb_window_t* list = xcb_query_tree_children(tree);
        result.assign(list, list + xcb_query_tree_children_length(tree));
        free(tree);
        return result;
    }

    bool isViewableWindowOf(xcb_window_t window, pid_t pid)
    {
        xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
            m_connection, xcb_get_window_attributes(m_connection, window), nullptr);
        const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        free(attributes);
        if (!viewable)
            return false;
        xcb_get_property_reply_t* property = xcb_get_property_reply(m_connection,
            xcb_get_property(m_connection, 0, window, m_netWmPid, XCB_ATOM_CARDINAL, 0, 1), nullptr);
        const bool ours = property && xcb_get_property_value_length(property) == 4
            && *static_cast<const uint32_t*>(xcb_get_property_value(property)) == uint32_t(pid);
        free(property);
        return ours;
    }

    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = XCB_NONE;
    xcb_key_symbols_t* m_keySymbols = nullptr;
    xcb_atom_t m_netWmPid = XCB_NONE;
    xcb_damage_damage_t m_damage = XCB_NONE;
    uint8_t m_damageEvent = 0;
};

// A key with its modifiers, as a person presses it.
struct Chord {
    std::vector<xcb_keysym_t> modifiers;
    xcb_keysym_t key;
};

Chord plain(xcb_keysym_t key)
{
    return {{}, key};
}
Chord control(xcb_keysym_t key)
{
    return {{XK_Control_L}, key};
}

struct Options {
    std::string program = VESK_PROGRAM;
    std::vector<int> sizes {1000, 10000, 100000};
    int repetitions = 20;
    double quietMs = 250;
    double timeoutMs = 5000;
    bool trace = std::getenv("KEY_REPAINT_TRACE") != nullptr;
    std::vector<std::string> keys; // empty: all
    std::vector<std::string> positions; // empty: all
    int memoryEdits = 0; // not 0: measure memory across this many edits instead of timing keys
    bool freeze = false; // look for frozen frames around a long list instead of timing keys
    double probeMs = 8; // --freeze: the time between two probing keys
};

// One run of vesk on one list: presses keys and keeps every timing.
class Driver {
public:
    Driver(XSession& x, const Options& options, pid_t program)
        : m_x(x), m_options(options), m_program(program)
    { }

    // The program has handled every key so far and its window has stopped changing.
    void waitReady(double quietMs)
    {
        m_x.waitIdle(m_program);
        m_x.waitQuiet(quietMs);
        m_x.waitIdle(m_program);
    }

    // Presses the chord; returns the time from the key press to the first damage after it.
    Sample press(const Chord& chord)
    {
        waitReady(m_options.quietMs);
        for (xcb_keysym_t modifier : chord.modifiers)
            m_x.fake(true, modifier);
        m_x.flush();
        if (!chord.modifiers.empty())
            m_x.waitIdle(m_program);
        m_x.drain();
        m_x.fake(true, chord.key);
        const double pressed = nowMs();
        m_x.fake(false, chord.key);
        for (auto it = chord.modifiers.rbegin(); it != chord.modifiers.rend(); ++it)
            m_x.fake(false, *it);
        m_x.flush();
        const std::optional<double> damaged = m_x.nextDamage(pressed + m_options.timeoutMs);
        if (m_options.trace)
            std::fprintf(stderr, "    key %u: %s at %dx%d+%d+%d\n", unsigned(chord.key),
                damaged ? std::to_string(*damaged - pressed).c_str() : "no repaint", m_x.lastArea.width,
                m_x.lastArea.height, m_x.lastArea.x, m_x.lastArea.y);
        return {damaged ? *damaged - pressed : m_options.timeoutMs, damaged.has_value()};
    }

    // Presses and releases the chord's modifiers and key.
    void fakeChord(const Chord& chord)
    {
        for (xcb_keysym_t modifier : chord.modifiers)
            m_x.fake(true, modifier);
        m_x.fake(true, chord.key);
        m_x.fake(false, chord.key);
        for (auto it = chord.modifiers.rbegin(); it != chord.modifiers.rend(); ++it)
            m_x.fake(false, *it);
        m_x.flush();
    }

    // Presses the chord without timing it, once the window is quiet.
    void tap(const Chord& chord)
    {
        waitReady(m_options.quietMs);
        if (m_options.trace)
            std::fprintf(stderr, "    tap %u\n", unsigned(chord.key));
        fakeChord(chord);
    }

    // Presses the chord once the program's interface thread sleeps, without waiting for the window:
    // for many presses whose timing does not matter.
    void key(const Chord& chord)
    {
        m_x.waitIdle(m_program);
        fakeChord(chord);
    }

    // Waits out a delayed step (the pause before a completed or moved task leaves its place, which
    // paints nothing) and the animation after it.
    void settle() { waitReady(std::max(m_options.quietMs, 700.0)); }

    // Types as a quick typist does, a key every 15 ms.
    void type(const std::string& text)
    {
        waitReady(m_options.quietMs);
        for (char c : text) {
            m_x.fake(true, xcb_keysym_t(c));
            m_x.fake(false, xcb_keysym_t(c));
            m_x.flush();
            usleep(15000);
        }
    }

    // Puts the selection on the task whose title holds `marker`: the search narrows the list to
    // it, and Escape clears the search and keeps the selection.
    void select(const std::string& marker)
    {
        tap(control(XK_f));
        type(marker);
        tap(plain(XK_Escape));
        waitReady(m_options.quietMs);
    }

private:
    XSession& m_x;
    const Options& m_options;
    pid_t m_program;
};

// What is timed, as a cycle of presses that leaves the list as it found it. Each cycle adds its
// timings under the names of the keys it times.
struct Measure {
    std::string name;
    bool reselectEachCycle;
    std::function<void(Driver&, std::map<std::string, std::vector<Sample>>&)> cycle;
};

std::vector<Measure> measures()
{
    using Samples = std::map<std::string, std::vector<Sample>>;
    return {
        {"j/k", false,
            [](Driver& d, Samples& s) {
                s["j/k"].push_back(d.press(plain(XK_j)));
                s["j/k"].push_back(d.press(plain(XK_k)));
            }},
        {"Ctrl+J/K", false,
            [](Driver& d, Samples& s) {
                s["Ctrl+J/K"].push_back(d.press(control(XK_j)));
                s["Ctrl+J/K"].push_back(d.press(control(XK_k)));
            }},
        {"Space", true,
            [](Driver& d, Samples& s) {
                s["Space"].push_back(d.press(plain(XK_space)));
                d.settle();
                d.tap(control(XK_z));
            }},
        {"t", true,
            [](Driver& d, Samples& s) {
                s["t"].push_back(d.press(plain(XK_t)));
                d.settle();
                d.tap(control(XK_z));
            }},
        {"n", false,
            [](Driver& d, Samples& s) {
                s["n"].push_back(d.press(plain(XK_n)));
                s["Escape (new)"].push_back(d.press(plain(XK_Escape)));
            }},
        {"Return", true,
            [](Driver& d, Samples& s) {
                d.tap(plain(XK_n));
                d.type("x");
                s["Return (commit new)"].push_back(d.press(plain(XK_Return)));
                d.settle();
                d.tap(plain(XK_Escape));
                // Undoing the new task takes the input row back with its text; Escape drops it.
                d.tap(control(XK_z));
                d.tap(plain(XK_Escape));
            }},
        {"Delete", true,
            [](Driver& d, Samples& s) {
                s["Delete"].push_back(d.press(plain(XK_Delete)));
                d.settle();
                s["Ctrl+Z (undo)"].push_back(d.press(control(XK_z)));
                s["Ctrl+Shift+Z (redo)"].push_back(d.press({{XK_Control_L, XK_Shift_L}, XK_z}));
                d.tap(control(XK_z));
            }},
        {"search", false,
            [](Driver& d, Samples& s) {
                d.tap(control(XK_f));
                s["search keystroke"].push_back(d.press(plain(XK_s)));
                s["search BackSpace"].push_back(d.press(plain(XK_BackSpace)));
                d.tap(plain(XK_Escape));
            }},
    };
}

double percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const double rank = fraction * double(values.size() - 1);
    const size_t low = size_t(rank);
    const size_t high = std::min(low + 1, values.size() - 1);
    return values[low] + (values[high] - values[low]) * (rank - double(low));
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool wanted(const std::vector<std::string>& chosen, const std::string& name)
{
    return chosen.empty() || std::find(chosen.begin(), chosen.end(), name) != chosen.end();
}

struct Row {
    int size;
    std::string position;
    std::string key;
    std::vector<Sample> samples;
};

// Prints a row of the table as soon as it is measured, so that a long run shows its figures as it
// goes.
void printRow(const Row& row, bool raw)
{
    std::vector<double> values;
    int missed = 0;
    for (const Sample& sample : row.samples) {
        if (sample.seen)
            values.push_back(sample.ms);
        else
            ++missed;
    }
    std::printf("%-8d %-7s %-22s %9.2f %9.2f %5zu", row.size, row.position.c_str(), row.key.c_str(),
        percentile(values, 0.5), percentile(values, 0.9), values.size());
    if (missed)
        std::printf("  (%d without a repaint)", missed);
    std::printf("\n");
    if (raw) {
        std::printf("  ");
        for (double value : values)
            std::printf(" %.2f", value);
        std::printf("\n");
    }
    std::fflush(stdout);
}

// A vesk started on a generated list in a private home, its window shown with the keyboard focus.
struct Program {
    pid_t pid = -1;
    fs::path home;
    fs::path list;
    std::string original;
    xcb_window_t window = XCB_NONE;
};

// Runs `program` with `arguments` in the private home: the first launch becomes the running Vesk, a
// later one hands its files to it and ends.
pid_t launch(const std::string& program, const fs::path& home, const std::vector<std::string>& arguments)
{
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
        setenv("XDG_CACHE_HOME", (home / "cache").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (home / "runtime").c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        setenv("LC_ALL", "C.UTF-8", 1);
        unsetenv("WAYLAND_DISPLAY");
        const std::string log = (home / "vesk.log").string();
        freopen(log.c_str(), "a", stdout);
        freopen(log.c_str(), "a", stderr);
        std::vector<char*> argv {const_cast<char*>(program.c_str())};
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

Program start(XSession& x, const Options& options, const std::string& text);

Program start(XSession& x, const Options& options, int size)
{
    return start(x, options, listText(size));
}

Program start(XSession& x, const Options& options, const std::string& text)
{
    char pattern[] = "/tmp/vesk-key-repaint.XXXXXX";
    if (!mkdtemp(pattern))
        die("cannot make a temporary folder");
    Program program;
    program.home = pattern;
    const fs::path& home = program.home;
    for (const char* folder : {"config", "data", "cache", "runtime", "lists"})
        fs::create_directories(home / folder);
    fs::permissions(home / "runtime", fs::perms::owner_all, fs::perm_options::replace);
    program.list = home / "lists" / "list.vesk";
    program.original = text;
    std::ofstream(program.list, std::ios::binary) << program.original;

    const pid_t pid = launch(options.program, home, {program.list.string()});
    program.pid = pid;

    xcb_window_t& window = program.window;
    const double launchLimit = nowMs() + 120000;
    while ((window == XCB_NONE || !x.hasFocus(window)) && nowMs() < launchLimit) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            die("vesk ended before showing its window; see " + (home / "vesk.log").string());
        usleep(20000);
        window = x.windowOf(pid);
    }
    if (window == XCB_NONE || !x.hasFocus(window))
        die("vesk's window did not appear with the keyboard focus");
    x.watchDamage(window);
    x.waitQuiet(1000, 60000);
    return program;
}

void stop(const Program& program, const Options& options)
{
    kill(program.pid, SIGTERM);
    waitpid(program.pid, nullptr, 0);
    if (options.trace)
        std::fprintf(stderr, "key_repaint_bench: kept %s\n", program.home.c_str());
    else
        fs::remove_all(program.home);
}

// Starts vesk on a list of `size` tasks in a private home, runs every measure at every position
// and quits it.
void runSize(XSession& x, const Options& options, int size, const std::function<void(const Row&)>& report)
{
    const Program program = start(x, options, size);
    const pid_t pid = program.pid;

    Driver driver(x, options, pid);
    // The first search keystroke after the list opened (the window has been quiet for a second),
    // before the measures below search to place the selection: one sample per launch.
    if (wanted(options.keys, "search")) {
        driver.tap(control(XK_f));
        report({size, "opened", "first search keystroke", {driver.press(plain(XK_s))}});
        driver.tap(plain(XK_BackSpace));
        driver.tap(plain(XK_Escape));
        driver.settle();
    }
    for (const Position& position : kPositions) {
        if (!wanted(options.positions, position.name))
            continue;
        for (const Measure& measure : measures()) {
            if (!wanted(options.keys, measure.name))
                continue;
            std::map<std::string, std::vector<Sample>> samples;
            driver.select(position.marker);
            for (int i = 0; i < options.repetitions; ++i) {
                if (measure.reselectEachCycle && i > 0)
                    driver.select(position.marker);
                measure.cycle(driver, samples);
            }
            for (auto& [key, values] : samples)
                report({size, position.name, key, std::move(values)});
            std::fprintf(
                stderr, "  %d tasks, %s, %s: done\n", size, position.name.c_str(), measure.name.c_str());
        }
    }

    driver.settle();
    // The writer may still be saving the last cycle's change (seconds for a large list on a busy
    // machine): the file is read once every thread of the program sleeps.
    x.waitAllIdle(pid);
    // The program writes the file without the last line break.
    std::string final = readFile(program.list);
    while (!final.empty() && final.back() == '\n')
        final.pop_back();
    if (final + '\n' != program.original)
        std::fprintf(stderr,
            "key_repaint_bench: warning: the %d-task list differs from the one it started with; a"
            " cycle did not restore it\n",
            size);
    stop(program, options);
}

// Fields of /proc/<pid>/smaps_rollup, in KiB, and the allocator's own figures (malloc_stats), in
// KiB: what the program's blocks take, and what the allocator holds for them in all its arenas.
struct Memory {
    long rss = 0;
    long pss = 0;
    long anonymous = 0;
    long heapInUse = -1; // -1: not known (no gdb to ask the program)
    long heapHeld = -1;
    int arenas = 0;
};

// Asks the program, stopped for a moment by gdb, to print its allocator's figures into its log, and
// reads them back. Rss counts memory the allocator keeps after it is freed; these tell the two
// apart.
void readHeap(pid_t pid, const fs::path& log, Memory& memory)
{
    const auto start = fs::exists(log) ? fs::file_size(log) : 0;
    const std::string command
        = "gdb -p " + std::to_string(pid) + " -batch -nx -ex 'call (void)malloc_stats()' >/dev/null 2>&1";
    if (std::system(command.c_str()) == -1)
        return;
    std::ifstream in(log);
    in.seekg(std::streamoff(start));
    bool total = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("Arena ", 0) == 0)
            ++memory.arenas;
        total = total || line.rfind("Total", 0) == 0;
        const auto equals = line.find('=');
        if (!total || equals == std::string::npos)
            continue;
        const long kib = std::stol(line.substr(equals + 1)) / 1024;
        if (line.rfind("system bytes", 0) == 0)
            memory.heapHeld = kib;
        else if (line.rfind("in use bytes", 0) == 0)
            memory.heapInUse = kib;
    }
}

Memory memoryOf(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/smaps_rollup");
    Memory memory;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string name;
        long kib = 0;
        fields >> name >> kib;
        if (name == "Rss:")
            memory.rss = kib;
        else if (name == "Pss:")
            memory.pss = kib;
        else if (name == "Anonymous:")
            memory.anonymous = kib;
    }
    return memory;
}

// One edit of each kind, in turn, each through the keys a person uses; every one is a command the
// program records for undo and writes to the file.
void edit(Driver& driver, int index)
{
    switch (index % 4) {
    case 0: // a new task "x" at the top of the inbox, which takes the selection
        // Typed only once the input row is shown: older builds gave an editor the focus a turn late
        // and lost the keys sent sooner.
        driver.key(plain(XK_n));
        driver.waitReady(100);
        driver.key(plain(XK_x));
        driver.key(plain(XK_Return));
        driver.key(plain(XK_Escape));
        break;
    case 1: // the selected task's title (the new one), with "y" added
        driver.key(plain(XK_Return));
        driver.key(plain(XK_End));
        driver.key(plain(XK_y));
        driver.key(plain(XK_Return));
        break;
    case 2:
        driver.key(control(XK_j));
        break;
    default:
        driver.key(control(XK_k));
        break;
    }
}

// Starts vesk on a list of `size` tasks, makes options.memoryEdits edits and prints the program's
// memory before, every quarter of the way and after them, with the growth per edit.
void runMemory(XSession& x, const Options& options, int size)
{
    const Program program = start(x, options, size);
    Driver driver(x, options, program.pid);
    driver.select(kPositions.front().marker);
    // Warming up: the first saves, glyphs and editors make what every later edit reuses.
    constexpr int warmUp = 8;
    for (int i = 0; i < warmUp; ++i)
        edit(driver, i);
    const auto settled = [&] {
        driver.settle();
        x.waitAllIdle(program.pid);
        Memory memory = memoryOf(program.pid);
        readHeap(program.pid, program.home / "vesk.log", memory);
        return memory;
    };
    const Memory before = settled();
    const auto print = [&](int edits, const Memory& memory) {
        const double perEdit = edits ? double(memory.rss - before.rss) / edits : 0.0;
        const double pssPerEdit = edits ? double(memory.pss - before.pss) / edits : 0.0;
        const double heapPerEdit = edits ? double(memory.heapInUse - before.heapInUse) / edits : 0.0;
        std::printf("%-8d %6d %10.1f %10.1f %10.1f %12.2f %12.2f %10.1f %10.1f %6d %12.2f\n", size, edits,
            memory.rss / 1024.0, memory.pss / 1024.0, memory.anonymous / 1024.0, perEdit, pssPerEdit,
            memory.heapInUse / 1024.0, memory.heapHeld / 1024.0, memory.arenas, heapPerEdit);
        std::fflush(stdout);
    };
    print(0, before);
    const int quarter = std::max(1, options.memoryEdits / 4);
    for (int i = 0; i < options.memoryEdits; ++i) {
        edit(driver, warmUp + i);
        if ((i + 1) % quarter == 0 && i + 1 < options.memoryEdits)
            print(i + 1, settled());
    }
    print(options.memoryEdits, settled());
    // Every new task is in the file as "xy", or "x" when the run ended before its edit: the edits
    // happened, and no key went astray.
    std::istringstream saved(readFile(program.list));
    int edited = 0;
    int unedited = 0;
    for (std::string line; std::getline(saved, line);) {
        edited += line == "xy";
        unedited += line == "x";
    }
    const int edits = warmUp + options.memoryEdits;
    const int expectedEdited = edits / 4 + (edits % 4 >= 2);
    const int expectedUnedited = edits % 4 == 1;
    if (edited != expectedEdited || unedited != expectedUnedited)
        std::fprintf(stderr,
            "key_repaint_bench: warning: %d tasks \"xy\" and %d \"x\" in the file, %d and %d made\n", edited,
            unedited, expectedEdited, expectedUnedited);
    stop(program, options);
}

// Frozen frames: a long list opened in a running vesk, reloaded after another program rewrote it,
// scrolled to its end and edited, while keys are pressed every few milliseconds, as a person who
// goes on working would. Each phase reports how long its keys waited for a repaint and the longest
// stretch without one.
//
// What it sees: only what keeps the interface thread from answering a key within the phase (a key
// waits for the thread, then for the frame that answers it). What it cannot see: work on other
// threads that does not hold that thread, frames shorter than the gap between two presses (a key
// pressed just after a stall began waits less than the stall lasted; the longest gap between repaints
// bounds it from above), and what a compositor would add: Xvfb shows each frame as it is drawn.
// The keys that probe (j and k in turn) cost a repaint each, which is part of every figure.

// Whether every thread of the program sleeps, but its interface thread and the thread that reads
// the X connection (both woken by the probing keys).
bool backgroundAsleep(pid_t pid)
{
    const fs::path tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code error;
    for (const auto& task : fs::directory_iterator(tasks, error)) {
        if (task.path().filename() == std::to_string(pid)
            || readFile(task.path() / "comm").rfind("QXcbEventQueue", 0) == 0)
            continue;
        const std::string text = readFile(task.path() / "stat");
        const size_t name = text.rfind(')');
        if (name == std::string::npos || name + 2 >= text.size() || text[name + 2] != 'S')
            return false;
    }
    return true;
}

// Presses keys into the program and keeps the time of every press and every repaint, in phases.
class FreezeProbe {
public:
    FreezeProbe(XSession& x, Driver& driver, pid_t pid, double intervalMs)
        : m_x(x), m_driver(driver), m_pid(pid), m_interval(intervalMs)
    { }

    void begin(const std::string& name)
    {
        m_phases.push_back({name, nowMs(), 0, m_presses.size(), 0});
        // The time on the monotonic clock, to find the phase in a profile (perf record -k mono).
        std::fprintf(stderr, "  phase %s at %.3f s\n", name.c_str(), m_phases.back().start / 1000);
    }
    void end()
    {
        m_phases.back().end = nowMs();
        m_phases.back().lastPress = m_presses.size();
    }

    void press(const Chord& chord, const std::string& name)
    {
        m_driver.fakeChord(chord);
        m_presses.push_back({nowMs(), name});
    }

    void type(const std::string& text)
    {
        for (char c : text) {
            press(plain(xcb_keysym_t(c)), std::string(1, c));
            watch(15);
        }
    }

    // Keeps the repaints that come within `ms`, pressing nothing.
    void watch(double ms) { m_x.collectDamage(nowMs() + ms, m_damages); }

    // Presses j and k in turn every interval for `ms`.
    void probe(double ms)
    {
        const double until = nowMs() + ms;
        while (nowMs() < until) {
            probeKey();
            m_x.collectDamage(std::min(until, m_nextProbe), m_damages);
        }
    }

    // Presses j and k in turn until the work of the phase is over: at least `minMs` have passed,
    // `done` holds, every other thread of the program has slept for half a second and a key pressed
    // meanwhile has been answered by a repaint.
    void probeUntilSettled(double minMs, const std::function<bool()>& done = {})
    {
        const double start = nowMs();
        double quietSince = -1;
        double nextLook = start;
        for (;;) {
            probeKey();
            const double now = nowMs();
            if (now >= nextLook) {
                nextLook = now + 20;
                if (!backgroundAsleep(m_pid))
                    quietSince = -1;
                else if (quietSince < 0)
                    quietSince = now;
                if (now - start >= minMs && quietSince >= 0 && now - quietSince >= 500
                    && answeredSince(quietSince) && (!done || done()))
                    return;
                if (now - start >= 120000) {
                    std::fprintf(
                        stderr, "key_repaint_bench: warning: the phase did not settle in 2 minutes\n");
                    return;
                }
            }
            m_x.collectDamage(std::min(m_nextProbe, nextLook), m_damages);
        }
    }

    // Prints a row per phase: the keys pressed, the median and longest time from a key to the
    // repaint after it (with that key), the longest time between two repaints, how many keys waited
    // longer than a frame (16.7 ms) and the phase's length.
    void report(int size) const
    {
        for (const Phase& phase : m_phases) {
            std::vector<double> waits;
            double longest = 0;
            std::string longestKey = "-";
            int unanswered = 0;
            for (size_t i = phase.firstPress; i < phase.lastPress; ++i) {
                const auto answer = std::lower_bound(m_damages.begin(), m_damages.end(), m_presses[i].at);
                if (answer == m_damages.end()) {
                    ++unanswered;
                    continue;
                }
                const double wait = *answer - m_presses[i].at;
                waits.push_back(wait);
                if (wait > longest) {
                    longest = wait;
                    longestKey = m_presses[i].key;
                }
            }
            // Between two repaints with a key pressed between them, from no sooner than a probe's
            // interval before that key: stretches in which no key was pressed (a phase waits for the
            // program at times) are not the program's doing.
            double gap = 0;
            auto press = m_presses.begin() + std::ptrdiff_t(phase.firstPress);
            const auto lastPress = m_presses.begin() + std::ptrdiff_t(phase.lastPress);
            auto damage = std::lower_bound(m_damages.begin(), m_damages.end(), phase.start);
            double previous = damage == m_damages.begin() ? phase.start : *std::prev(damage);
            for (; damage != m_damages.end() && press != lastPress; ++damage) {
                if (press->at <= *damage)
                    gap = std::max(gap, *damage - std::max(previous, press->at - m_interval));
                while (press != lastPress && press->at <= *damage)
                    ++press;
                previous = *damage;
            }
            const auto frozen
                = std::count_if(waits.begin(), waits.end(), [](double wait) { return wait > 16.7; });
            std::printf("%-8d %-7s %6zu %9.2f %9.2f %-8s %9.2f %6td %8.2f", size, phase.name.c_str(),
                waits.size(), percentile(waits, 0.5), longest, longestKey.c_str(), gap, frozen,
                (phase.end - phase.start) / 1000);
            if (unanswered)
                std::printf("  (%d without a repaint)", unanswered);
            std::printf("\n");
        }
        std::fflush(stdout);
    }

private:
    struct Press {
        double at;
        std::string key;
    };
    struct Phase {
        std::string name;
        double start;
        double end;
        size_t firstPress;
        size_t lastPress;
    };

    void probeKey()
    {
        if (nowMs() < m_nextProbe)
            return;
        m_down = !m_down;
        press(plain(m_down ? XK_j : XK_k), m_down ? "j" : "k");
        m_nextProbe = nowMs() + m_interval;
    }

    // Whether a key pressed at or after `since` has been answered.
    bool answeredSince(double since) const
    {
        const auto first = std::find_if(
            m_presses.begin(), m_presses.end(), [since](const Press& press) { return press.at >= since; });
        return first != m_presses.end() && !m_damages.empty() && m_damages.back() >= first->at;
    }

    XSession& m_x;
    Driver& m_driver;
    pid_t m_pid;
    double m_interval;
    double m_nextProbe = 0;
    bool m_down = false;
    std::vector<Press> m_presses;
    std::vector<double> m_damages;
    std::vector<Phase> m_phases;
};

// What the program has read or written so far ("rchar" or "wchar" of /proc/<pid>/io), in bytes.
long long transferred(pid_t pid, const std::string& field)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/io");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(field + ":", 0) == 0)
            return std::stoll(line.substr(field.size() + 1));
    return 0;
}

long peakResidentKiB(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

// Starts vesk on a short list, then, pressing keys all the while: opens a list of `size` tasks in it
// as a second launch does (and shows its tab, which waits behind since keys were pressed meanwhile),
// rewrites that list as another program would, goes to its end through the search, and commits a
// new task, deletes it and undoes that. Prints a row per phase and the program's peak memory.
void runFreeze(XSession& x, const Options& options, int size)
{
    std::string shortList;
    for (int i = 0; i < 20; ++i)
        shortList += "Short task " + std::to_string(i) + "\n";
    shortList += "---\n---\n";
    const Program program = start(x, options, shortList);
    const fs::path longList = program.home / "lists" / "long.vesk";
    const std::string text = listText(size);
    std::ofstream(longList, std::ios::binary) << text;

    Driver driver(x, options, program.pid);
    driver.tap(plain(XK_j));
    driver.settle();
    FreezeProbe probe(x, driver, program.pid, options.probeMs);

    probe.begin("open");
    const pid_t second = launch(options.program, program.home, {longList.string()});
    bool secondEnded = false;
    // Each phase lasts until the program has read (or, editing, written) the whole list at least
    // once: a phase that only waited for quiet could end before the program noticed the change.
    const auto hasMoved = [&](const std::string& field) {
        return [&, field, from = transferred(program.pid, field)] {
            return transferred(program.pid, field) - from >= (long long)text.size();
        };
    };
    const auto listRead = hasMoved("rchar");
    probe.probeUntilSettled(1000, [&] {
        secondEnded = secondEnded || waitpid(second, nullptr, WNOHANG) == second;
        return secondEnded && listRead();
    });
    probe.end();

    probe.begin("show");
    const auto longShown = [&] { return x.title(program.window).find("long") != std::string::npos; };
    if (!longShown())
        probe.press(plain(XK_l), "l");
    probe.probeUntilSettled(1000);
    probe.end();
    if (!longShown())
        std::fprintf(stderr, "key_repaint_bench: warning: the long list's tab is not shown (title \"%s\")\n",
            x.title(program.window).c_str());

    probe.begin("reload");
    {
        const fs::path replacement = longList.string() + ".new";
        std::ofstream(replacement, std::ios::binary) << "Changed by another program\n" << text;
        fs::rename(replacement, longList);
    }
    // A change reported while the window is active is only compared at the next activation, so the
    // user switches to another program and back (no keys meanwhile: they would go nowhere).
    x.setShown(program.window, false);
    probe.watch(700);
    x.setShown(program.window, true);
    probe.probeUntilSettled(1500, hasMoved("rchar"));
    probe.end();

    probe.begin("end");
    probe.press(control(XK_f), "Ctrl+F");
    probe.watch(100);
    probe.type("xqend");
    probe.watch(100);
    probe.press(plain(XK_Escape), "Escape");
    probe.probeUntilSettled(1000);
    probe.end();

    probe.begin("edit");
    const auto saved = hasMoved("wchar");
    probe.press(plain(XK_n), "n");
    probe.watch(200);
    probe.type("x");
    probe.watch(100);
    probe.press(plain(XK_Return), "Return");
    probe.watch(300);
    probe.press(plain(XK_Escape), "Escape");
    probe.probe(300);
    probe.press(plain(XK_Delete), "Delete");
    probe.probe(500);
    probe.press(control(XK_z), "Ctrl+Z");
    probe.probeUntilSettled(1500, saved);
    probe.end();

    // The repaints that answer the last keys.
    probe.watch(500);
    const long peak = peakResidentKiB(program.pid);
    probe.report(size);
    // A save the program refused (the list found changed outside it) means the rewrite was not taken
    // in as a reload before the edit: the edit phase then measured a list in conflict.
    if (readFile(program.home / "vesk.log").find("could not save") != std::string::npos)
        std::fprintf(stderr, "key_repaint_bench: warning: the program refused a save; see its log\n");
    std::printf("%-8d peak %.0f MiB, %.2fx the list's %.1f MB\n", size, peak / 1024.0,
        peak * 1024.0 / double(text.size()), double(text.size()) / 1e6);
    std::fflush(stdout);
    stop(program, options);
}

std::vector<std::string> split(const std::string& text)
{
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, ',');)
        if (!part.empty())
            parts.push_back(part);
    return parts;
}

void usage()
{
    std::fprintf(stderr,
        "usage: key_repaint_bench [--sizes 1000,10000,100000] [--repetitions N] [--quiet MS] [--timeout MS]\n"
        "                         [--positions top,middle,end] [--keys j/k,Ctrl+J/K,Space,t,n,Return,"
        "Delete,search]\n"
        "                         [--raw] [--memory EDITS] [--freeze [--probe MS]] [VESK_PROGRAM]\n");
    std::exit(2);
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    bool raw = false;
    bool sizesGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const auto value = [&] {
            if (++i >= argc)
                usage();
            return std::string(argv[i]);
        };
        if (argument == "--sizes") {
            sizesGiven = true;
            options.sizes.clear();
            for (const std::string& size : split(value()))
                options.sizes.push_back(std::stoi(size));
        } else if (argument == "--repetitions") {
            options.repetitions = std::stoi(value());
        } else if (argument == "--timeout") {
            options.timeoutMs = std::stod(value());
        } else if (argument == "--quiet") {
            options.quietMs = std::stod(value());
        } else if (argument == "--positions") {
            options.positions = split(value());
        } else if (argument == "--keys") {
            options.keys = split(value());
        } else if (argument == "--raw") {
            raw = true;
        } else if (argument == "--memory") {
            options.memoryEdits = std::stoi(value());
        } else if (argument == "--freeze") {
            options.freeze = true;
        } else if (argument == "--probe") {
            options.probeMs = std::stod(value());
        } else if (argument.starts_with("-") || i != argc - 1) {
            usage();
        } else {
            options.program = argument;
        }
    }
    signal(SIGPIPE, SIG_IGN);

    XSession x;
    if (options.memoryEdits > 0) {
        std::printf("%-8s %6s %10s %10s %10s %12s %12s %10s %10s %6s %12s\n", "tasks", "edits", "rss MiB",
            "pss MiB", "anon MiB", "rss KiB/edit", "pss KiB/edit", "heap MiB", "held MiB", "arenas",
            "heap KiB/edit");
        std::fflush(stdout);
        for (int size : options.sizes)
            runMemory(x, options, size);
        return 0;
    }
    if (options.freeze) {
        if (!sizesGiven)
            options.sizes = {100000, 1600000};
        std::printf("%-8s %-7s %6s %9s %9s %-8s %9s %6s %8s\n", "tasks", "phase", "keys", "median", "longest",
            "(key)", "max gap", ">16.7", "seconds");
        std::fflush(stdout);
        for (int size : options.sizes)
            runFreeze(x, options, size);
        return 0;
    }
    std::printf("%-8s %-7s %-22s %9s %9s %5s\n", "tasks", "where", "key", "median", "p90", "n");
    std::fflush(stdout);
    for (int size : options.sizes)
        runSize(x, options, size, [raw](const Row& row) { printRow(row, raw); });
    return 0;
}
