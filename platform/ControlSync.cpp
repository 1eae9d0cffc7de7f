// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ControlSync.h"

namespace kolvik {

namespace {

bool SamePlace(const Twips& a, const Twips& b) {
    return a.left == b.left && a.top == b.top && a.width == b.width && a.height == b.height;
}

bool ShowsText(ControlKind kind) {
    return kind == ControlKind::Label || kind == ControlKind::Button ||
           kind == ControlKind::TextBox;
}

}  // namespace

FormChanges TakeFormChanges(const Form& form, FormShown& shown) {
    FormChanges ch;
    ch.all = !shown.synced;
    ch.caption = ch.all || form.caption != shown.caption;
    ch.size = ch.all || form.clientWidth != shown.width || form.clientHeight != shown.height;
    ch.pointer = ch.all || form.pointer != shown.pointer;
    shown.synced = true;
    shown.caption = form.caption;
    shown.width = form.clientWidth;
    shown.height = form.clientHeight;
    shown.pointer = form.pointer;
    return ch;
}

ControlChanges TakeChanges(const Control& c, Control& shown, bool all) {
    const ControlKind kind = c.kind;
    ControlChanges ch;
    ch.place = all || !SamePlace(c.place, shown.place);
    ch.text = ShowsText(kind) && (c.text != shown.text || (all && kind != ControlKind::TextBox));
    ch.picture = (kind == ControlKind::Picture || kind == ControlKind::Button) &&
                 (all || c.picture != shown.picture);
    ch.value = kind == ControlKind::CheckBox && (all || c.value != shown.value);
    ch.lineWidth = kind == ControlKind::Line && (all || c.lineWidth != shown.lineWidth);
    ch.tooltip = all || c.tooltip != shown.tooltip;
    ch.font = all || c.bold != shown.bold || c.face != shown.face;
    ch.colors = all || c.foreColor != shown.foreColor || c.backColor != shown.backColor;
    ch.enabled = all || c.enabled != shown.enabled;
    ch.visible = all || c.visible != shown.visible;
    ch.refit = c.fitText && kind == ControlKind::Label && (ch.text || ch.place || ch.font);
    shown = c;
    return ch;
}

}  // namespace kolvik
