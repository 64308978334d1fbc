// SPDX-License-Identifier: Apache-2.0
// RSA both ways, at each key size: key files the window saves load in
// quorval-cli and the CLI's in the window, OpenSSL reads both; containers of
// each schema and signatures made by either open or verify in the other.

#include "tests/logic/asymmetric/AsymTestSupport.h"
#include "tests/parity/ParitySupport.h"

using namespace fake;
using namespace parity;
using enginetest::readAll;
using enginetest::writeAll;

namespace {

const char* const kSchemas[] = {"oaep", "pkcs1"};  // the window's list positions
const int kSchemaCodes[] = {1, 0};                 // as the key block records them
const char* const kEncodings[] = {"binary", "base64", "hex"};
const char* const kBits[] = {"512", "1024", "2048"};

bool openssl(const std::string& arguments) {
    return std::system(("openssl " + arguments + " >/dev/null 2>&1").c_str()) == 0;
}

class AsymParity : public AsymFixture, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        load([] { return engine::CreateEngineRoot(); });
        selectTab(3);
    }

    void encoding(int e) { form.option("optTypeAsym", e).userClick(); }
    void source(int s) { form.option("optAsym", s).userClick(); }
    void schema(int s) { form.comboBox("cboAsymSchema").userSelect(s); }
    // The window's operations on what the box reading it holds; the other box's text after.
    std::string run(const char* button, const char* from, const char* to, const std::string& input) {
        form.textBox(from).setText(input);
        click(button);
        return text(to);
    }
    std::string encrypt(const std::string& input) { return run("cmdEncAsym", "txtContAsym", "txtResAsym", input); }
    std::string decrypt(const std::string& input) { return run("cmdDecAsym", "txtResAsym", "txtContAsym", input); }
    std::string sign(const std::string& input) { return run("cmdAsign", "txtContAsym", "txtResAsym", input); }
    std::string verify(const std::string& data, const std::string& signature) {
        sign(data);  // enables the button
        form.textBox("txtResAsym").setText(signature);
        click("cmdAsymVerifSign");
        const std::string answer = ui.messageBoxes.empty() ? "(no answer)" : ui.messageBoxes.back().text;
        ui.messageBoxes.clear();
        return answer;
    }
    void loadPair(const std::string& privateFile, const std::string& publicFile) {
        loadKey(1, privateFile);
        loadRelated(publicFile);
        ASSERT_EQ(actions(), "Enc Dec Sign") << privateFile;
    }

    CliRun cli(std::vector<std::string> words) {
        words.insert(words.begin(), QUORVAL_CLI);
        return runIn(dir.path(), words);
    }
    std::string file(const std::string& name) { return dir.file(name); }

    enginetest::ScratchDir dir;
};

TEST_P(AsymParity, KeysContainersAndSignaturesCrossBothWays) {
    const int size = GetParam();
    const std::string bits = kBits[size];
    const std::string wPrivate = file("window.pem"), wPublic = file("window-pub.pem");
    const std::string cPrivate = file("cli.pem"), cPublic = file("cli-pub.pem");

    // One pair made by each program, saved as files.
    form.comboBox("cboAsymKey").userSelect(size);
    schema(size % 2);
    generate();
    ASSERT_TRUE(tab().asymKeyReady());
    save(1, wPrivate);
    save(0, wPublic);
    if (size == 0) {
        // Settings left unset are the window's defaults.
        const Header window = headerOf(encrypt("x"));
        writeAll(file("x.txt"), "x");
        const CliRun r = cli({"rsa-encrypt", "--key", wPublic, "-o", file("x.qrv"), file("x.txt")});
        ASSERT_EQ(r.status, 0) << describe(r);
        const Header ours = headerOf(readAll(file("x.qrv")));
        EXPECT_EQ(enginetest::hexOf(ours.settings), enginetest::hexOf(window.settings));
        EXPECT_EQ(ours.schema, window.schema);
        EXPECT_EQ(ours.form, window.form);
    }
    const CliRun made = cli({"genkey", "--bits", bits, "--schema", kSchemas[1 - size % 2], "-o", cPrivate,
                             "--public-out", cPublic});
    ASSERT_EQ(made.status, 0) << describe(made);
    for (const auto& [priv, pub] : {std::pair(wPrivate, wPublic), std::pair(cPrivate, cPublic)}) {
        EXPECT_TRUE(openssl("pkey -in " + quoted(priv) + " -check -noout")) << priv;
        EXPECT_TRUE(openssl("pkey -in " + quoted(priv) + " -pubout | cmp -s - " + quoted(pub))) << pub;
        EXPECT_TRUE(enginetest::run("openssl rsa -pubin -in " + quoted(pub) + " -noout -text 2>/dev/null")
                        .value_or("")
                        .find("(" + bits + " bit)") != std::string::npos)
            << pub;
    }

    const std::string data = file("data.txt");
    writeAll(data, enginetest::pseudoRandom(70000, size) + "end");
    for (int s = 0; s < 2; ++s) {
        SCOPED_TRACE(kSchemas[s]);
        const int e = (size + s) % 3, level = 3 * s + size - 1;
        schema(s);
        encoding(e);
        form.upDown("udAsym").setValue(level);

        // The window encrypts for the CLI's key, from the box and from a file.
        loadPair(cPrivate, cPublic);
        source(0);
        writeAll(file("w.box"), encrypt("from the window's box"));
        EXPECT_EQ(headerOf(readAll(file("w.box"))).schema, kSchemaCodes[s]);
        source(1);
        const std::string wFile = encrypt(data);
        ASSERT_EQ(wFile, modUtils::AddFileSuffix(data, "Enc"));
        for (const auto& [in, plain] : {std::pair(file("w.box"), std::string("from the window's box")),
                                        std::pair(wFile, readAll(data))}) {
            const CliRun r = cli({"rsa-decrypt", "--key", cPrivate, "-o", in + ".out", in});
            ASSERT_EQ(r.status, 0) << describe(r);
            EXPECT_TRUE(readAll(in + ".out") == plain) << in;
        }

        // The CLI encrypts for the window's key with the same settings; the window decrypts both ways.
        const CliRun r = cli({"rsa-encrypt", "--key", wPublic, "--schema", kSchemas[s], "--encoding", kEncodings[e],
                              "--level", std::to_string(level), "-o", file("c.qrv"), data});
        ASSERT_EQ(r.status, 0) << describe(r);
        const std::string container = readAll(file("c.qrv"));
        // The header the window wrote for the same settings, the level as set included.
        const Header h = headerOf(container), window = headerOf(readAll(file("w.box")));
        EXPECT_EQ(h.schema, kSchemaCodes[s]);
        EXPECT_EQ(h.form, window.form);
        EXPECT_EQ(enginetest::hexOf(h.settings), enginetest::hexOf(window.settings));
        ASSERT_EQ(h.settings.size(), 8u);
        EXPECT_EQ(static_cast<signed char>(h.settings[6]), level);
        loadPair(wPrivate, wPublic);
        source(0);
        EXPECT_TRUE(decrypt(container) == readAll(data)) << "pasted into the box";
        source(1);
        const std::string decrypted = decrypt(file("c.qrv"));
        ASSERT_EQ(decrypted, modUtils::AddFileSuffix(file("c.qrv"), "Dec"));
        EXPECT_TRUE(readAll(decrypted) == readAll(data));
        for (const std::string& f : {wFile, decrypted, file("w.box.out"), wFile + ".out", file("c.qrv")})
            std::remove(f.c_str());
    }

    // Signatures are deterministic: both programs give the same bytes, each verifies the other's.
    for (int e = 0; e < 3; ++e) {
        SCOPED_TRACE(kEncodings[e]);
        encoding(e);
        const bool window = e != 1;  // whose keys: the window's, or the CLI's
        const std::string priv = window ? wPrivate : cPrivate, pub = window ? wPublic : cPublic;
        loadPair(priv, pub);
        source(1);
        const std::string windowSignature = sign(data);
        const CliRun signed_ = cli({"sign", "--key", priv, "--encoding", kEncodings[e], "-o", file("sig"), data});
        ASSERT_EQ(signed_.status, 0) << describe(signed_);
        EXPECT_TRUE(readAll(file("sig")) == windowSignature);
        EXPECT_EQ(verify(data, readAll(file("sig"))), "Valid signature ");
        writeAll(file("wsig"), windowSignature);
        const CliRun valid = cli({"verify", "--key", pub, "--signature", file("wsig"), data});
        EXPECT_EQ(valid.status, 0) << describe(valid);
        const CliRun invalid = cli({"verify", "--key", pub, "--signature", file("wsig"), wPublic});
        EXPECT_EQ(invalid.status, 1) << describe(invalid);
        // OpenSSL takes the raw bytes.
        writeAll(file("raw"), e == 0 ? windowSignature
                                     : engine::CreateEngineRoot()
                                           ->NewEncoder(static_cast<engine::OutputEncoding>(e))
                                           ->DecodeText(windowSignature));
        EXPECT_TRUE(openssl("dgst -sha256 -verify " + quoted(pub) + " -signature " + quoted(file("raw")) + " " +
                            quoted(data)));
        // A text in the box signs as the same bytes in a file.
        source(0);
        EXPECT_TRUE(sign(readAll(data)) == windowSignature);
        std::remove(file("sig").c_str());
    }
    EXPECT_TRUE(ui.messageBoxes.empty()) << ui.messageBoxes.front().text;
}

INSTANTIATE_TEST_SUITE_P(EachKeySize, AsymParity, ::testing::Values(0, 1, 2),
                         [](const ::testing::TestParamInfo<int>& info) { return std::string(kBits[info.param]); });

}  // namespace
