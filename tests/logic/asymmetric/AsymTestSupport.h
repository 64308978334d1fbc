// SPDX-License-Identifier: Apache-2.0
#pragma once
// The asymmetric tab over the fake windowing layer and a scripted engine whose
// keys name themselves in their results, so that a test sees which key did what.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "asymmetric/clsAsym.h"
#include "asymmetric/frmKey.h"
#include "support/WindowFixture.h"

namespace fake {

class AsymFixture : public WindowFixture {
protected:
    using Key = ::testing::NiceMock<MockEngineAsymKey>;

    struct Generation {
        int32_t kind;
        int32_t bits;
        std::string seed;
        int32_t schema;
    };
    struct Load {
        std::string path;
        int32_t kind;
        int32_t schema;
    };
    // What the key-kind dialog showed when it opened.
    struct Seen {
        std::string caption;
        int preset;  // 0 public, 1 private, -1 neither
        bool locked;
    };

    // The window over the scripted engine, on the asymmetric tab.
    void SetUp() override {
        load();
        scriptEngine();
        selectTab(3);
    }

    void scriptEngine() {
        using ::testing::_;
        using ::testing::Invoke;
        ON_CALL(*root, NewKeyPair(_, _, _, _, _))
            .WillByDefault(Invoke([this](engine::KeyKind kind, int32_t bits, const engine::Text& seed,
                                         engine::EncryptionSchema schema,
                                         std::shared_ptr<engine::EngineAsymKey>& publicKey) {
                generations.push_back({codeOf(kind), bits, seed, codeOf(schema)});
                const std::string n = std::to_string(generations.size());
                publicKey = makeKey("public" + n);
                return std::shared_ptr<engine::EngineAsymKey>(makeKey("private" + n));
            }));
        ON_CALL(*root, LoadKey(_, _, _))
            .WillByDefault(
                Invoke([this](const engine::Text& path, engine::KeyKind kind,
                              engine::EncryptionSchema schema) -> std::shared_ptr<engine::EngineAsymKey> {
                    loads.push_back({path, codeOf(kind), codeOf(schema)});
                    if (path.find("bad") != std::string::npos)
                        throw engineFailure("The file \"" + path + "\" is not a key file.",
                                            engine::ErrorKind::KeyFile);
                    return makeKey(path);
                }));
    }

    std::shared_ptr<Key> makeKey(const std::string& name) {
        using ::testing::_;
        using ::testing::Invoke;
        auto key = std::make_shared<Key>();
        ON_CALL(*key, EncryptText(_)).WillByDefault(Invoke([name](const engine::Text& t) {
            return "enc[" + name + "](" + t + ")";
        }));
        ON_CALL(*key, DecryptText(_)).WillByDefault(Invoke([name](const engine::Text& t) {
            return "dec[" + name + "](" + t + ")";
        }));
        ON_CALL(*key, SignText(_)).WillByDefault(Invoke([name](const engine::Text& t) {
            return "sig[" + name + "](" + t + ")";
        }));
        ON_CALL(*key, SignFile(_)).WillByDefault(Invoke([name](const engine::Text& p) {
            return "sig[" + name + "](file " + p + ")";
        }));
        ON_CALL(*key, VerifyText(_, _))
            .WillByDefault(Invoke([this, name](const engine::Text& t, const engine::Text& s) {
                verified.push_back(name + ": " + t + " / " + s);
                return s.rfind("sig[", 0) == 0;
            }));
        ON_CALL(*key, EncryptFile(_, _))
            .WillByDefault(Invoke([this, name](const engine::Text& s, const engine::Text& t) {
                fileCalls.push_back("encrypt[" + name + "] " + s + " -> " + t);
            }));
        ON_CALL(*key, DecryptFile(_, _))
            .WillByDefault(Invoke([this, name](const engine::Text& s, const engine::Text& t) {
                fileCalls.push_back("decrypt[" + name + "] " + s + " -> " + t);
            }));
        ON_CALL(*key, SaveToFile(_)).WillByDefault(Invoke([this, name](const engine::Text& path) {
            saves.push_back(name + " -> " + path);
        }));
        ON_CALL(*key, Compression(_)).WillByDefault(Invoke([this](int16_t level) {
            compressions.push_back(level);
        }));
        ON_CALL(*key, Encoding(_)).WillByDefault(Invoke([this](engine::OutputEncoding code) {
            encodings.push_back(codeOf(code));
        }));
        keys[name] = key;
        return key;
    }

    // ---- the user

    void click(const char* button) { form.button(button).userClick(); }
    void generate() { click("cmdAsymGenKey"); }
    void type(const char* box, const std::string& text) { form.textBox(box).type(text); }
    std::string text(const char* box) { return form.textBox(box).text(); }

    // Scripts the next key-kind dialog; a null action leaves it to its close box.
    void keyDialog(std::function<void(FakeForm&)> action) {
        ui.modalScripts.push_back([this, action](FakeForm& f) {
            const bool isPrivate = f.option("optAsymCrKey", 1).value();
            const bool isPublic = f.option("optAsymCrKey", 0).value();
            seen.push_back(
                {f.caption(),
                 isPrivate  ? 1
                 : isPublic ? 0
                            : -1,
                 !f.option("optAsymCrKey", 0).isEnabled() && !f.option("optAsymCrKey", 1).isEnabled()});
            if (action) action(f);
        });
    }
    void chooseKind(int kind) {
        keyDialog([kind](FakeForm& f) {
            f.option("optAsymCrKey", kind).userClick();
            f.button("cmdOk").userClick();
        });
    }
    void confirmKind() {
        keyDialog([](FakeForm& f) { f.button("cmdOk").userClick(); });
    }
    void cancelKind() {
        keyDialog([](FakeForm& f) { f.button("cmdCancel").userClick(); });
    }
    void answerFile(std::optional<std::string> path) { ui.fileAnswers.push_back(std::move(path)); }

    // Load key, choosing the kind and the file.
    void loadKey(int kind, const std::string& path) {
        chooseKind(kind);
        answerFile(path);
        click("cmdAsymLoad");
    }
    // Save key to file, choosing the kind and the file.
    void save(int kind, const std::string& path) {
        chooseKind(kind);
        answerFile(path);
        click("cmdAsymSave");
    }
    void loadRelated(const std::string& path) {
        confirmKind();
        answerFile(path);
        click("cmdAsymLoadRelat");
    }

    // ---- what the user sees

    // The enabled ones among the tab's action buttons, in a fixed order.
    std::string actions() {
        std::string out;
        const std::pair<const char*, const char*> buttons[] = {{"cmdEncAsym", "Enc"},
                                                               {"cmdDecAsym", "Dec"},
                                                               {"cmdAsign", "Sign"},
                                                               {"cmdAsymSave", "Save"},
                                                               {"cmdAsymVerifSign", "Verify"}};
        for (const auto& b : buttons)
            if (form.button(b.first).isEnabled()) out += (out.empty() ? "" : " ") + std::string(b.second);
        return out;
    }
    std::string captions() {
        return form.button("cmdAsymLoad").caption() + " / " + form.button("cmdAsymLoadRelat").caption();
    }
    // Source frame and options, both boxes and their colour, encodings, level, related-key button.
    void expectWorkingControls(bool on, const char* where) {
        SCOPED_TRACE(where);
        const ui::SysColor colour = on ? ui::SysColor::WindowBackground : ui::SysColor::InactiveBorder;
        EXPECT_EQ(form.frame("frTxtAsym").isEnabled(), on);
        for (int i = 0; i < 2; ++i) EXPECT_EQ(form.option("optAsym", i).isEnabled(), on);
        for (const char* box : {"txtContAsym", "txtResAsym"}) {
            EXPECT_EQ(form.textBox(box).isEnabled(), on) << box;
            EXPECT_EQ(form.textBox(box).backColor(), colour) << box;
        }
        for (int i = 0; i < 3; ++i) EXPECT_EQ(form.option("optTypeAsym", i).isEnabled(), on);
        EXPECT_EQ(form.textBox("txtAsymComp").isEnabled(), on);
        EXPECT_EQ(form.upDown("udAsym").isEnabled(), on);
        EXPECT_EQ(form.button("cmdAsymLoadRelat").isEnabled(), on);
        for (const char* always : {"cmdAsymGenKey", "cmdAsymLoad"})
            EXPECT_TRUE(form.button(always).isEnabled());
        EXPECT_TRUE(form.comboBox("cboAsymKey").isEnabled());
        EXPECT_TRUE(form.comboBox("cboAsymSchema").isEnabled());
        EXPECT_TRUE(form.textBox("txtAsymSeed").isEnabled());
    }
    std::vector<std::string> messageTexts() {
        std::vector<std::string> out;
        for (const RecordedMessageBox& box : ui.messageBoxes) out.push_back(box.text);
        return out;
    }

    AsymmetricTab& tab() { return window->asymmetricTab(); }
    const std::shared_ptr<clsAsym>& wrapper() { return tab().asymWrapper(); }

    std::vector<Generation> generations;
    std::vector<Load> loads;
    std::vector<Seen> seen;
    std::vector<std::string> verified;
    std::vector<std::string> fileCalls;
    std::vector<std::string> saves;
    std::vector<int16_t> compressions;
    std::vector<int32_t> encodings;
    std::map<std::string, std::shared_ptr<Key>> keys;
};

}  // namespace fake
