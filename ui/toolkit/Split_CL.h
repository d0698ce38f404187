#pragma once
#include <windows.h>

// One splitter node: two panes and the bar between them. Only the horizontal bar (type
// 0: one pane above, one below) is laid out.
class Split_CL {
public:
    static constexpr int kHorizontal = 0;
    static constexpr int kBarSize = 2;

    explicit Split_CL(int type) : type(type) {}
    virtual ~Split_CL() = default;

    void SetFirstWindow(HWND window);
    void SetSecondWindow(HWND window);
    void SetPosition(int value) { position = value; }
    int GetPosition() const { return position; }
    int GetType() const { return type; }
    const RECT& GetFirstRect() const { return firstRect; }
    const RECT& GetSecondRect() const { return secondRect; }
    // Computes the pane rectangles and moves both windows in one deferred batch.
    void Layout(const RECT& frame);
    bool IsOverBar(POINT point) const;

protected:
    int type;
    Split_CL* children[2] = {nullptr, nullptr};
    HWND firstWindow = nullptr;
    HWND secondWindow = nullptr;
    int position = -1;
    int barSize = kBarSize;
    RECT frameRect = {};
    RECT firstRect = {};
    RECT secondRect = {};

private:
    static HWND WithoutThickFrame(HWND window);
};
