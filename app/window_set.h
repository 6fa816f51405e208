// The application's windows: created at start-up in a fixed order, each reachable through its
// program-wide reference before its creation handler runs, and destroyed in reverse order at exit.
#pragma once

#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class TWindowSet final
{
public:
    TWindowSet() = default;
    ~TWindowSet();
    TWindowSet(const TWindowSet&) = delete;
    TWindowSet& operator=(const TWindowSet&) = delete;

    // Creates the seven windows. An error in a creation handler is shown and start-up goes on.
    void Create();

    // Shows the main window with its saved placement; the caller then runs the event loop.
    void ShowMainWindow();

private:
    template<class T>
    void createForm(T*& reference);

    struct Form
    {
        std::unique_ptr<QWidget> window;
        std::function<void()> clearReference;
    };
    std::vector<Form> m_forms;
};
