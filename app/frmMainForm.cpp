// SPDX-License-Identifier: Apache-2.0
#include "app/frmMainForm.h"

#include <stdexcept>
#include <string>

namespace {

using ui::ControlKind;
using ui::ControlLayout;
using ui::Rect;
using ui::TextBoxStyle;

ControlLayout control(const char* name, int index, ControlKind kind, const char* container, const char* caption,
                      Rect rect, int tabOrder) {
    return ui::makeControl(name, index, kind, container, caption, rect, tabOrder);
}

ControlLayout option(const char* name, int index, const char* container, const char* caption, Rect rect,
                   int tabOrder, bool selected = false) {
    ControlLayout c = control(name, index, ControlKind::Option, container, caption, rect, tabOrder);
    c.selected = selected;
    return c;
}

ControlLayout button(const char* name, const char* container, const char* caption, Rect rect, int tabOrder) {
    return control(name, -1, ControlKind::Button, container, caption, rect, tabOrder);
}

ControlLayout frame(const char* name, const char* container, const char* caption, Rect rect, int tabOrder) {
    return control(name, -1, ControlKind::Frame, container, caption, rect, tabOrder);
}

ControlLayout label(const char* name, int index, const char* container, const char* caption, Rect rect,
                  int tabOrder) {
    return control(name, index, ControlKind::Label, container, caption, rect, tabOrder);
}

ControlLayout list(const char* name, const char* container, std::vector<std::string> items, Rect rect,
                 int tabOrder) {
    ControlLayout c = control(name, -1, ControlKind::ComboBox, container, "", rect, tabOrder);
    c.items = std::move(items);
    return c;
}

ControlLayout textBox(const char* name, const char* container, const char* text, Rect rect, int tabOrder,
                    TextBoxStyle style = TextBoxStyle::SingleLine, bool readOnlyGrey = false) {
    ControlLayout c = control(name, -1, ControlKind::TextBox, container, text, rect, tabOrder);
    c.style = style;
    c.readOnlyGrey = readOnlyGrey;
    return c;
}

ControlLayout multiLine(const char* name, const char* container, Rect rect, int tabOrder, bool readOnlyGrey = false) {
    return textBox(name, container, "", rect, tabOrder, TextBoxStyle::MultiLine, readOnlyGrey);
}

ControlLayout upDown(const char* name, const char* container, const char* buddy, Rect rect, int tabOrder) {
    ControlLayout c = control(name, -1, ControlKind::UpDown, container, "", rect, tabOrder);
    c.buddy = buddy;
    c.min = -1;
    c.max = 9;
    c.value = -1;
    return c;
}

ControlLayout& find(ui::FormLayout& f, const char* name, int index = -1) {
    for (ControlLayout& c : f.controls)
        if (c.name == name && c.index == index) return c;
    throw std::logic_error(std::string("no control ") + name);
}

// For screen readers, and never drawn: a name where the caption is missing or says too
// little, and a word on which box a button reads and writes.
void name(ui::FormLayout& f, const char* control, const char* accessibleName, const char* description = "") {
    ControlLayout& c = find(f, control);
    c.accessibleName = accessibleName;
    c.accessibleDescription = description;
}

void describe(ui::FormLayout& f, const char* control, const char* description) {
    find(f, control).accessibleDescription = description;
}

// The label names the control beside it.
void labels(ui::FormLayout& f, const char* label, int index, const char* control) {
    find(f, label, index).buddy = control;
}

void addAccessibility(ui::FormLayout& f) {
    name(f, "TabStrip1", "Tabs");
    name(f, "pgBar", "Progress");
    describe(f, "cmdAbort", "Stops the running operation (Escape)");
    name(f, "frEncSym", "Settings");
    name(f, "frEncAsym", "Settings");
    // The frames' own captions are also a button's caption on their tab.
    name(f, "frGenkeys", "Key generation");
    name(f, "frSign", "Signature verification");

    name(f, "cmdOpen", "Choose file to hash");
    name(f, "txtCont", "Text or file to hash");
    describe(f, "cmdHashBin", "Hashes the left box into the right box");
    name(f, "txtRes", "Digest");
    labels(f, "Label1", -1, "cboEncHash");
    name(f, "cboEncHash", "Algorithm");

    name(f, "cmdOpenSym", "Choose file to encrypt");
    name(f, "txtContSym", "Text or file to encrypt");
    describe(f, "cmdEncSym", "Encrypts the left box into the right box");
    describe(f, "cmdDecSym", "Decrypts the right box into the left box");
    name(f, "txtResSym", "Encrypted text or file");
    labels(f, "lbl1", 0, "cboSymKey");
    name(f, "cboSymKey", "Key length");
    labels(f, "lbl1", 2, "txtSymIV");
    name(f, "txtSymIV", "Initialisation vector");
    labels(f, "lbl1", 3, "cboSymPad");
    name(f, "cboSymPad", "Padding");
    labels(f, "lbl1", 4, "cboSymAlg");
    name(f, "cboSymAlg", "Algorithm");
    labels(f, "lbl1", 1, "txtSymComp");
    name(f, "txtSymComp", "Compression level", "Up and Down arrow keys change the level");
    name(f, "udSymLev", "Compression level arrows");
    labels(f, "lbl1", 5, "txtSymPass");
    name(f, "txtSymPass", "Password");

    name(f, "cmdOpenAsym", "Choose file to encrypt or sign");
    name(f, "txtContAsym", "Text or file to encrypt or sign");
    describe(f, "cmdEncAsym", "Encrypts the left box into the right box");
    describe(f, "cmdDecAsym", "Decrypts the right box into the left box");
    describe(f, "cmdAsign", "Signs the left box; the signature goes into the right box");
    name(f, "txtResAsym", "Encrypted text, signature or file");
    labels(f, "lbl1", 9, "txtAsymComp");
    name(f, "txtAsymComp", "Compression level", "Up and Down arrow keys change the level");
    name(f, "udAsym", "Compression level arrows");
    labels(f, "lbl1", 8, "cboAsymKey");
    name(f, "cboAsymKey", "Key length");
    labels(f, "lbl1", 7, "cboAsymSchema");
    name(f, "cboAsymSchema", "Encryption schema");
    labels(f, "lbl1", 6, "txtAsymSeed");
    name(f, "txtAsymSeed", "Seed");
    describe(f, "cmdAsymVerifSign", "Checks the right box as a signature of the left box");

    name(f, "cmdOpenED", "Choose file to encode");
    name(f, "txtContED", "Text or file to encode");
    describe(f, "cmdEncED", "Encodes the left box into the right box");
    describe(f, "cmdDecED", "Decodes the right box into the left box");
    name(f, "txtResED", "Encoded text or file");
}

ui::FormLayout buildMainForm() {
    ui::FormLayout f;
    f.name = "frmMain";
    f.caption = "Exemple";
    f.clientWidth = 6600;
    f.clientHeight = 8235;
    f.cancelButton = "cmdAbort";  // Escape stops a running operation
    auto& c = f.controls;

    // Direct children of the window.
    ControlLayout tabs = control("TabStrip1", -1, ControlKind::TabStrip, "", "", {120, 120, 6405, 7610}, 52);
    tabs.items = {"Hash", "Symetric Encrypt/Decrypt", "Asymmetric Encrypt/Decrypt", "Encode/Decode"};
    c.push_back(tabs);
    ControlLayout bar = control("pgBar", -1, ControlKind::ProgressBar, "", "", {240, 7440, 6100, 180}, 79);
    bar.visible = false;
    bar.min = 0;
    bar.max = 100;
    c.push_back(bar);
    ControlLayout abort = button("cmdAbort", "", "Abort transaction", {120, 7800, 1695, 350}, 78);
    abort.enabled = false;
    c.push_back(abort);
    c.push_back(button("cmdOk", "", "OK", {3390, 7800, 975, 350}, 50));
    c.push_back(button("cmdCancel", "", "Cancel", {4470, 7800, 975, 350}, 51));
    c.push_back(button("cmdHelp", "", "Help", {5545, 7800, 975, 350}, 53));
    c.push_back(frame("frTxtHash", "", "Source", {240, 480, 6100, 2800}, 56));
    c.push_back(frame("frTxtSym", "", "Source", {240, 480, 6100, 2780}, 58));
    c.push_back(frame("frTxtAsym", "", "Source", {240, 480, 6100, 2780}, 70));
    c.push_back(frame("frTxtED", "", "Source", {240, 480, 6100, 2800}, 80));
    c.push_back(frame("frEncHash", "", "Encoding", {240, 3300, 6100, 3960}, 54));
    c.push_back(frame("frEncSym", "", "", {240, 3300, 6100, 3960}, 59));
    c.push_back(frame("frEncAsym", "", "", {240, 3300, 6100, 4080}, 68));
    c.push_back(frame("frEDType", "", "Encoding", {240, 3300, 6100, 3960}, 88));

    // Tab 1, "Hash".
    c.push_back(option("optHash", 0, "frTxtHash", "Text", {200, 240, 1695, 255}, 0, true));
    c.push_back(option("optHash", 1, "frTxtHash", "File", {200, 525, 1695, 255}, 1));
    c.push_back(button("cmdOpen", "frTxtHash", "...", {1080, 480, 400, 255}, 2));
    c.push_back(multiLine("txtCont", "frTxtHash", {200, 900, 2200, 1695}, 3));
    c.push_back(button("cmdHashBin", "frTxtHash", "Hash->", {2530, 1320, 1075, 350}, 4));
    c.push_back(multiLine("txtRes", "frTxtHash", {3700, 900, 2200, 1695}, 5, true));
    c.push_back(label("Label1", -1, "frEncHash", "Algorythm", {240, 240, 1695, 255}, 57));
    c.push_back(list("cboEncHash", "frEncHash", {"MD5", "SHA", "Tiger"}, {240, 540, 2200, 315}, 6));
    c.push_back(frame("Frame2", "frEncHash", "Type", {3700, 240, 2300, 1110}, 55));
    c.push_back(option("optType", 0, "Frame2", "Binary", {240, 240, 1335, 255}, 7, true));
    c.push_back(option("optType", 1, "Frame2", "Base64", {240, 520, 1335, 255}, 8));
    c.push_back(option("optType", 2, "Frame2", "Hex", {240, 800, 1335, 255}, 9));

    // Tab 2, "Symetric Encrypt/Decrypt".
    c.push_back(option("optSym", 0, "frTxtSym", "Text", {200, 240, 1695, 255}, 10, true));
    c.push_back(option("optSym", 1, "frTxtSym", "File", {200, 525, 1695, 255}, 11));
    c.push_back(button("cmdOpenSym", "frTxtSym", "...", {1040, 520, 400, 255}, 12));
    c.push_back(multiLine("txtContSym", "frTxtSym", {200, 900, 2200, 1695}, 13));
    c.push_back(button("cmdEncSym", "frTxtSym", "Encrypting->", {2530, 1320, 1075, 350}, 14));
    c.push_back(button("cmdDecSym", "frTxtSym", "<-Decrypting", {2520, 1800, 1075, 350}, 15));
    c.push_back(multiLine("txtResSym", "frTxtSym", {3700, 900, 2200, 1695}, 16));
    c.push_back(label("lbl1", 0, "frEncSym", "Key length", {200, 360, 1575, 255}, 66));
    c.push_back(list("cboSymKey", "frEncSym", {"128", "192", "256"}, {1900, 360, 1625, 315}, 17));
    c.push_back(label("lbl1", 2, "frEncSym", "IV", {200, 840, 1575, 255}, 65));
    c.push_back(textBox("txtSymIV", "frEncSym", "", {1900, 840, 1625, 315}, 18));
    c.push_back(label("lbl1", 3, "frEncSym", "Padding", {200, 1320, 1575, 255}, 64));
    c.push_back(list("cboSymPad", "frEncSym", {"FIPS81", "PCKS5", "ZeroPadding"}, {1900, 1320, 1625, 315}, 19));
    c.push_back(label("lbl1", 4, "frEncSym", "Algorythm", {200, 1800, 1575, 255}, 63));
    c.push_back(list("cboSymAlg", "frEncSym", {"AES", "TwoFish"}, {1900, 1800, 1625, 315}, 20));
    c.push_back(label("lbl1", 1, "frEncSym", "Compression level", {200, 2280, 1575, 255}, 67));
    c.push_back(textBox("txtSymComp", "frEncSym", "-1", {1900, 2280, 1625, 315}, 21, TextBoxStyle::SingleLine, true));
    c.push_back(upDown("udSymLev", "frEncSym", "txtSymComp", {3286, 2280, 240, 315}, 22));
    c.push_back(label("lbl1", 5, "frEncSym", "Password", {1920, 2925, 855, 255}, 62));
    c.push_back(textBox("txtSymPass", "frEncSym", "", {2880, 2880, 1625, 315}, 28));
    c.push_back(frame("frSymType", "frEncSym", "Encoding", {4100, 240, 1850, 1280}, 61));
    c.push_back(option("optTypeSym", 0, "frSymType", "Binary", {240, 300, 1100, 255}, 23, true));
    c.push_back(option("optTypeSym", 1, "frSymType", "Base64", {240, 600, 1100, 255}, 24));
    c.push_back(option("optTypeSym", 2, "frSymType", "Hex", {240, 900, 1100, 255}, 25));
    c.push_back(frame("frSymCip", "frEncSym", "Cipher mode", {4100, 1680, 1850, 990}, 60));
    c.push_back(option("optCip", 0, "frSymCip", "ECB", {240, 300, 1100, 255}, 26, true));
    c.push_back(option("optCip", 1, "frSymCip", "CBC", {240, 600, 1100, 255}, 27));

    // Tab 3, "Asymmetric Encrypt/Decrypt".
    c.push_back(option("optAsym", 0, "frTxtAsym", "Text", {200, 240, 1695, 255}, 29, true));
    c.push_back(option("optAsym", 1, "frTxtAsym", "File", {200, 525, 1695, 255}, 30));
    c.push_back(button("cmdOpenAsym", "frTxtAsym", "...", {1040, 520, 400, 255}, 31));
    c.push_back(multiLine("txtContAsym", "frTxtAsym", {200, 900, 2200, 1695}, 32));
    c.push_back(button("cmdEncAsym", "frTxtAsym", "Encrypting->", {2530, 1215, 1075, 350}, 33));
    c.push_back(button("cmdDecAsym", "frTxtAsym", "<-Decrypting", {2520, 1620, 1075, 350}, 34));
    c.push_back(button("cmdAsign", "frTxtAsym", "Sign->", {2520, 2025, 1075, 350}, 35));
    c.push_back(multiLine("txtResAsym", "frTxtAsym", {3700, 900, 2200, 1695}, 36));
    c.push_back(label("lbl1", 9, "frEncAsym", "Compression level", {240, 200, 1575, 255}, 71));
    c.push_back(textBox("txtAsymComp", "frEncAsym", "-1", {1935, 200, 1245, 315}, 37, TextBoxStyle::SingleLine, true));
    c.push_back(upDown("udAsym", "frEncAsym", "txtAsymComp", {3181, 200, 240, 315}, 38));
    c.push_back(frame("frASymType", "frEncAsym", "Encoding", {3840, 120, 2085, 1100}, 69));
    c.push_back(option("optTypeAsym", 0, "frASymType", "Binary", {240, 240, 1100, 255}, 39, true));
    c.push_back(option("optTypeAsym", 1, "frASymType", "Base64", {240, 500, 1100, 255}, 40));
    c.push_back(option("optTypeAsym", 2, "frASymType", "Hex", {240, 760, 1100, 255}, 41));
    c.push_back(frame("frGenkeys", "frEncAsym", "Generate keys", {200, 1200, 5730, 1450}, 73));
    c.push_back(label("lbl1", 8, "frGenkeys", "Key length", {200, 300, 1575, 255}, 74));
    c.push_back(list("cboAsymKey", "frGenkeys", {"512", "1024", "2048"}, {1800, 270, 1380, 315}, 42));
    c.push_back(label("lbl1", 7, "frGenkeys", "Encryption Schema", {200, 700, 1575, 255}, 75));
    c.push_back(list("cboAsymSchema", "frGenkeys", {"OAEP", "PCKS1"}, {1800, 650, 1380, 315}, 43));
    c.push_back(label("lbl1", 6, "frGenkeys", "Seed", {200, 1100, 1575, 255}, 76));
    c.push_back(textBox("txtAsymSeed", "frGenkeys", "", {1800, 1030, 1335, 285}, 44));
    c.push_back(button("cmdAsymGenKey", "frGenkeys", "Generate keys", {4080, 400, 1500, 350}, 45));
    c.push_back(button("cmdAsymSave", "frGenkeys", "Save key to file", {4080, 840, 1500, 350}, 46));
    c.push_back(frame("frLoad", "frEncAsym", "Load Key from file", {200, 2650, 2700, 1250}, 72));
    c.push_back(button("cmdAsymLoad", "frLoad", "Load key", {120, 300, 1980, 350}, 47));
    c.push_back(button("cmdAsymLoadRelat", "frLoad", "Load key private related", {120, 750, 1980, 350}, 48));
    c.push_back(frame("frSign", "frEncAsym", "Verify Signature", {3220, 2650, 2700, 1250}, 77));
    c.push_back(button("cmdAsymVerifSign", "frSign", "Verify signature", {120, 300, 1980, 350}, 49));

    // Tab 4, "Encode/Decode".
    c.push_back(option("optED", 0, "frTxtED", "Text", {200, 240, 1695, 255}, 85, true));
    c.push_back(option("optED", 1, "frTxtED", "File", {200, 525, 1695, 255}, 83));
    c.push_back(button("cmdOpenED", "frTxtED", "...", {1040, 520, 400, 255}, 87));
    c.push_back(multiLine("txtContED", "frTxtED", {200, 900, 2200, 1695}, 84));
    c.push_back(button("cmdEncED", "frTxtED", "Encoding->", {2535, 1320, 1075, 350}, 82));
    c.push_back(button("cmdDecED", "frTxtED", "<-Decoding", {2520, 1800, 1075, 350}, 81));
    c.push_back(multiLine("txtResED", "frTxtED", {3700, 900, 2200, 1695}, 86));
    // Encoding to "Binary" would only copy the data: the option is shown greyed.
    ControlLayout binaryED = option("optTypeED", 0, "frEDType", "Binary", {240, 300, 1100, 255}, 91);
    binaryED.enabled = false;
    c.push_back(binaryED);
    c.push_back(option("optTypeED", 1, "frEDType", "Base64", {240, 600, 1100, 255}, 90, true));
    c.push_back(option("optTypeED", 2, "frEDType", "Hex", {240, 900, 1100, 255}, 89));
    addAccessibility(f);
    return f;
}

}  // namespace

const ui::FormLayout& frmMainLayout() {
    static const ui::FormLayout layout = buildMainForm();
    return layout;
}
