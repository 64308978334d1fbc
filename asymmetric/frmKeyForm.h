// SPDX-License-Identifier: Apache-2.0
#pragma once
#include "ui/FormLayout.h"

// The key-kind dialog's controls: a frame with the two kinds, OK and Cancel.
const ui::FormLayout& frmKeyLayout();
