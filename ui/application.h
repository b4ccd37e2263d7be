// The application object: owns the forms, runs the message loop, minimises and
// restores the whole application, and shows exceptions that reach the loop.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace ui {

class Form;

class Application {
public:
    static Application& Instance();

    // The hidden window that owns every form and carries the taskbar title.
    HWND Handle();
    void SetTitle(const std::string& ansi);

    // Creates a form owned by the application; the first one is the main form.
    // Fires the form's OnCreate once it is fully constructed.
    template <typename T, typename... Args>
    T* CreateForm(Args&&... args) {
        std::unique_ptr<T> form(new T(std::forward<Args>(args)...));
        T* raw = form.get();
        Adopt(std::move(form));
        return raw;
    }
    Form* MainForm() const { return forms_.empty() ? nullptr : forms_.front().get(); }

    // Shows the main form and dispatches messages until Terminate.
    int Run();
    void Terminate();
    bool Terminated() const { return terminated_; }

    // Hides every shown form behind one minimised taskbar entry; Restore (or the
    // taskbar entry) brings them back.
    void Minimize();
    void Restore();
    bool Minimized() const { return minimized_; }

    // The standard exception box: the message's text under the application's title.
    void ShowException(const char* what);

    // The window a dialog or message box opened now belongs to, and stays
    // above: `preferred` when it is shown and takes input, else the active
    // window, else the topmost such window of the program; never `dialog`.
    // Null when none is shown. A hidden owner would let the box sink behind
    // the window the person sees.
    HWND DialogOwner(HWND preferred, HWND dialog = nullptr) const;

    // One message: false when the loop should end (WM_QUIT).
    bool ProcessMessage();

    // Runs `action` once, when the loop first finds nothing to do (the frames
    // painted so far are then on the screen), or before the first key or
    // mouse message if one comes sooner.
    void WhenIdle(std::function<void()> action);

    // Releases the forms (before the process's other objects go).
    void DestroyForms();

private:
    Application() = default;
    void Adopt(std::unique_ptr<Form> form);
    bool MoveTabFocus(HWND from);
    void RunIdleActions();
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
    std::vector<std::unique_ptr<Form>> forms_;
    std::vector<Form*> hiddenByMinimize_;
    std::vector<std::function<void()>> idle_;
    bool minimized_ = false;
    bool terminated_ = false;
};

// Runs `f`, and shows any exception it throws in the standard box: exceptions
// must not unwind through the system's window procedures.
template <typename F>
void Guarded(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        Application::Instance().ShowException(e.what());
    } catch (...) {
        // Not one of ours: shown with an empty text, never a placeholder.
        Application::Instance().ShowException("");
    }
}

} // namespace ui
