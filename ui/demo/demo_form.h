// A face shown as a borderless window with the framework's controls placed on
// it from a table, for the end-to-end tests. Events are printed on stdout.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/behaviour.h"
#include "ui/control.h"
#include "ui/edit.h"
#include "ui/form.h"
#include "ui/grid.h"

namespace demo {

enum class Action { Log, Close, Minimize, ModalOk };

struct HotSpot {
    const char* name;
    int left, top, width, height;
    Action action;
};

struct EditLayout {
    const char* name;
    int left, top, width, height;
    const char* placeholderUtf8;
    int maxLength;
    bool password;
};

struct IconLayout {
    const char* name;
    const wchar_t* resource;
    int left, top, width, height;
};

struct TextLayout {
    const char* textUtf8;
    int left, top;
    int pixelHeight;
    ui::Colour colour;
    bool bold;
    bool opaque;  // painted on the edit-box background colour
};

struct FaceLayout {
    const char* key;
    const wchar_t* resource;
    int width, height;
    const char* captionUtf8;
    ui::WindowDrag::Mode drag;
    bool dims;
    bool dialog;
    std::vector<TextLayout> texts;
    std::vector<IconLayout> icons;
    std::vector<HotSpot> spots;
    std::vector<EditLayout> edits;
    bool grid;
};

const FaceLayout* FindFace(const std::string& key);

// Commands from the test, posted to the form as WM_USER + kCommandBase + code.
enum Command { CmdDim = 1, CmdUndim, CmdWhere, CmdState, CmdRestore, CmdModal, CmdThrow, CmdQuit, CmdCaption };
const unsigned kCommandMessage = 0x0400 + 100;

class DemoForm : public ui::Form {
public:
    explicit DemoForm(const FaceLayout& face);
    void SetModalChild(DemoForm* child) { modalChild_ = child; }

protected:
    void UserMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    // The face's controls from its table (the dark image and the dim overlay
    // only on faces that dim).
    void AddTexts();
    void AddIcons();
    void AddHotSpots();
    void AddEdits();
    void AddGrid();
    void AddDimOverlay();
    void HotSpotClick(const HotSpot& spot);
    void EditEnterExit(ui::Edit& edit);
    void EyeClick();
    void FolderClick();
    void DrawCell(ui::Grid& grid, int col, int row, const RECT& rect, HDC dc);
    void FillGrid();
    void Report(const char* what);
    // The test's commands that take more than a line.
    void SetTextCaption(const std::string& command);
    void ReportPlace();
    void ReportState();
    void ShowModalChild();

    const FaceLayout& face_;
    ui::Image BgImage;
    std::vector<std::unique_ptr<ui::Label>> texts_;
    std::vector<std::unique_ptr<ui::Image>> icons_;
    ui::Image* eyeHidden_ = nullptr;
    ui::Image* eyeShown_ = nullptr;
    std::vector<std::unique_ptr<ui::Label>> spots_;
    std::unique_ptr<ui::Image> DarkImage;
    std::vector<std::unique_ptr<ui::Edit>> edits_;
    std::unique_ptr<ui::Grid> StringGrid;
    ui::WindowDrag drag_;
    std::unique_ptr<ui::DimOverlay> dim_;
    ui::Picture applyOn_, applyOff_;
    DemoForm* modalChild_ = nullptr;
};

} // namespace demo
