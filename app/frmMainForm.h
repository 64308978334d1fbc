// SPDX-License-Identifier: Apache-2.0
#pragma once
#include "ui/FormLayout.h"

// The main window's controls: names, kinds, containers, captions, lists,
// initial states, rectangles (twips) and tab order.
const ui::FormLayout& frmMainLayout();
