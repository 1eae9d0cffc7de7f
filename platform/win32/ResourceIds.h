// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Resource ids shared by the program's resource script and the views. Pictures are RCDATA
// resources named after the model's picture names ("block", "exit", ...).
#define KOLVIK_ICON 102
