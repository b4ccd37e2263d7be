#include "ui/control.h"

#include "ui/form.h"

namespace ui {

Control::Control(Form& owner, int left, int top, int width, int height) : owner_(owner) {
    bounds_.left = left;
    bounds_.top = top;
    bounds_.width = width;
    bounds_.height = height;
    owner_.AddControl(this);
}

Control::~Control() { owner_.RemoveControl(this); }

void Control::SetBounds(int left, int top, int width, int height) {
    Invalidate();
    bounds_.left = left;
    bounds_.top = top;
    bounds_.width = width;
    bounds_.height = height;
    Invalidate();
}

void Control::SetVisible(bool visible) {
    if (visible_ == visible) return;
    visible_ = visible;
    Invalidate();
}

void Control::Invalidate() const {
    if (!owner_.Handle()) return;
    Rect d = owner_.GetScale().ToDevice(bounds_);
    RECT r = ToRECT(d.left, d.top, d.width, d.height);
    InvalidateRect(owner_.Handle(), &r, FALSE);
}

// ---- Image --------------------------------------------------------------------

Image::Image(Form& owner, int left, int top, int width, int height) : Control(owner, left, top, width, height) {}

void Image::SetPicture(Picture picture) {
    picture_ = std::move(picture);
    if (autoSize_ && !picture_.Empty()) SetBounds(Left(), Top(), picture_.Width(), picture_.Height());
    Invalidate();
}

void Image::SetAutoSize(bool on) {
    autoSize_ = on;
    if (on && !picture_.Empty()) SetBounds(Left(), Top(), picture_.Width(), picture_.Height());
}

void Image::SetCenter(bool on) {
    center_ = on;
    Invalidate();
}

void Image::Paint(HDC dc) {
    if (picture_.Empty()) return;
    int x = Left(), y = Top();
    if (center_) {
        x += CentredOffset(Width(), picture_.Width());
        y += CentredOffset(Height(), picture_.Height());
    }
    // A picture never spills over its control's bounds.
    int saved = SaveDC(dc);
    IntersectClipRect(dc, Left(), Top(), Left() + Width(), Top() + Height());
    picture_.Draw(dc, x, y);
    RestoreDC(dc, saved);
}

// ---- Label --------------------------------------------------------------------

Label::Label(Form& owner, int left, int top, int width, int height)
    : Control(owner, left, top, width, height), font_(CreateFontFor(desc_)) {}

void Label::SetCaption(const std::string& ansi) {
    if (caption_ == ansi) return;
    caption_ = ansi;
    Fit();
    Invalidate();
}

void Label::SetFont(const FontDesc& desc) {
    desc_ = desc;
    font_ = CreateFontFor(desc_);
    Fit();
    Invalidate();
}

void Label::SetFontColour(Colour c) {
    desc_.colour = c;
    Invalidate();
}

void Label::SetColour(Colour c) {
    back_ = c;
    Invalidate();
}

void Label::SetTransparent(bool on) {
    transparent_ = on;
    Invalidate();
}

void Label::SetAutoSize(bool on) {
    autoSize_ = on;
    Fit();
}

void Label::SetVerticalCentre(bool on) {
    vcentre_ = on;
    Invalidate();
}

void Label::Fit() {
    if (!autoSize_) return;
    WindowDC screen(nullptr);
    ScopedSelect sel(screen.Get(), font_.Get());
    std::wstring text = AnsiToWide(caption_);
    RECT r = {0, 0, 0, 0};
    if (text.empty()) {
        // An empty autosized label keeps one line's height and no width.
        TEXTMETRICW tm = {};
        GetTextMetricsW(screen.Get(), &tm);
        r.bottom = tm.tmHeight;
    } else {
        DrawTextW(screen.Get(), text.c_str(), static_cast<int>(text.size()), &r,
                  DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS);
    }
    SetBounds(Left(), Top(), r.right - r.left, r.bottom - r.top);
}

void Label::Paint(HDC dc) {
    RECT r = ToRECT(Left(), Top(), Width(), Height());
    if (!transparent_) {
        Brush b(CreateSolidBrush(back_));
        FillRect(dc, &r, b.Get());
    }
    if (caption_.empty()) return;
    std::wstring text = AnsiToWide(caption_);
    ScopedSelect sel(dc, font_.Get());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, desc_.colour);
    UINT flags = DT_NOPREFIX | DT_EXPANDTABS;
    if (vcentre_) flags |= DT_SINGLELINE | DT_VCENTER;
    // Sized to its text as measured at the scale of that moment: at another
    // scale the font's rounding may make the text a pixel wider.
    if (autoSize_) flags |= DT_NOCLIP;
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, flags);
}

} // namespace ui
