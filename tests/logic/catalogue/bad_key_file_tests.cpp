// SPDX-License-Identifier: Apache-2.0
// Key files the asymmetric tab cannot use, and places it cannot save a key
// to: one box naming the file, no file touched, and the keys the tab held
// before a related load still there.

#include "tests/logic/catalogue/CatalogueSupport.h"

using namespace catalogue;
using enginetest::readAll;

namespace {

const char* const kLoadTitle = "clsAsym ->Function KeyLoadFromFile ";
const char* const kSaveTitle = "clsAsym ->Function KeySaveToFile ";
enum { kPublic = 0, kPrivate = 1 };

// DER, written by hand: a tag, its length and its contents.
std::string tlv(uint8_t tag, const std::string& contents) {
    std::string length;
    if (contents.size() < 0x80) {
        length.push_back(static_cast<char>(contents.size()));
    } else {
        for (size_t n = contents.size(); n > 0; n >>= 8) length.insert(length.begin(), static_cast<char>(n & 0xFF));
        length.insert(length.begin(), static_cast<char>(0x80 | length.size()));
    }
    return std::string(1, static_cast<char>(tag)) + length + contents;
}

class BadKeyFile : public Catalogue {
protected:
    void SetUp() override {
        Catalogue::SetUp();
        open(kRsaEncrypt, false);
        keys = file("keys");
        fs::create_directory(keys);
        save(kPrivate, privatePem = keys + "/private.pem");
        save(kPublic, publicPem = keys + "/public.pem");
        // The halves of another pair.
        form.textBox("txtAsymSeed").type("another pair");
        form.button("cmdAsymGenKey").userClick();
        save(kPrivate, otherPrivatePem = keys + "/other-private.pem");
        save(kPublic, otherPublicPem = keys + "/other-public.pem");
        EXPECT_EQ(takeBoxes(), std::vector<std::string>{});
    }

    // The key-kind dialog answered with the kind, or just confirmed as shown.
    void kind(std::optional<int> choice) {
        ui.modalScripts.push_back([choice](fake::FakeForm& dialog) {
            if (choice) dialog.option("optAsymCrKey", *choice).userClick();
            dialog.button("cmdOk").userClick();
        });
    }
    void save(int which, const std::string& path) {
        kind(which);
        ui.fileAnswers.push_back(path);
        form.button("cmdAsymSave").userClick();
    }
    void load(int which, const std::string& path) {
        kind(which);
        ui.fileAnswers.push_back(path);
        form.button("cmdAsymLoad").userClick();
    }
    void loadRelated(const std::string& path) {
        kind(std::nullopt);
        ui.fileAnswers.push_back(path);
        form.button("cmdAsymLoadRelat").userClick();
    }
    // The enabled action buttons of the tab.
    std::string actions() {
        std::string out;
        for (const auto& [button, name] : {std::pair<const char*, const char*>{"cmdEncAsym", "Enc"},
                                           {"cmdDecAsym", "Dec"},
                                           {"cmdAsign", "Sign"}})
            if (form.button(button).isEnabled()) out += (out.empty() ? "" : " ") + std::string(name);
        return out;
    }
    // Signs a text with the tab's private key and verifies it with its public key.
    std::string signAndVerify() {
        form.option("optAsym", 0).userClick();
        box("txtContAsym").setText("signed by the pair");
        form.button("cmdAsign").userClick();
        form.button("cmdAsymVerifSign").userClick();
        const std::vector<std::string> boxes = takeBoxes();
        return boxes.empty() ? "(no box)" : boxes.back();
    }
    std::string pemToDer(const std::string& pem) {
        const size_t begin = pem.find('\n') + 1;
        return root2->NewEncoder(engine::OutputEncoding::Base64)
            ->DecodeText(pem.substr(begin, pem.find("-----END") - begin));
    }
    std::string derToPem(const std::string& label, const std::string& der) {
        return "-----BEGIN " + label + "-----\n" + root2->NewEncoder(engine::OutputEncoding::Base64)->EncodeText(der) +
               "\n-----END " + label + "-----\n";
    }
    static bool openssl(const std::string& arguments) {
        return std::system(("openssl " + arguments + " >/dev/null 2>&1").c_str()) == 0;
    }

    std::shared_ptr<engine::EngineRoot> root2 = engine::CreateEngineRoot(enginetest::fastOptions());
    std::string keys, privatePem, publicPem, otherPrivatePem, otherPublicPem;
};

TEST_F(BadKeyFile, AKeyFileThatCannotBeUsedIsOneBoxAndTouchesNothing) {
    const std::string pem = readAll(privatePem);
    const std::string der = pemToDer(pem);
    // The exponent changed from 65537 to 3: numbers that do not fit together.
    std::string otherExponent = der;
    const std::string e65537("\x02\x03\x01\x00\x01", 5);
    otherExponent.replace(otherExponent.find(e65537), e65537.size(), std::string("\x02\x03\x01\x00\x03", 5));
    // Numbers no RSA key has: an even public exponent (65538), an even modulus (its last bit cleared).
    const std::string publicDer = pemToDer(readAll(publicPem));
    std::string evenExponent = publicDer, evenPrivateExponent = der, evenModulus = publicDer;
    evenExponent[evenExponent.find(e65537) + 4] = '\x02';
    evenPrivateExponent[evenPrivateExponent.find(e65537) + 4] = '\x02';
    evenModulus[evenModulus.find(e65537) - 1] &= '\xFE';
    // A 100 000-bit modulus, which would take minutes to set up.
    std::string modulus(12500, '\xA5');
    modulus.back() = '\x01';
    const std::string rsaEncryption("\x30\x0D\x06\x09\x2A\x86\x48\x86\xF7\x0D\x01\x01\x01\x05\x00", 15);
    const std::string hugeKey = tlv(0x30, rsaEncryption + tlv(0x03, std::string(1, '\0') +
                                                                       tlv(0x30, tlv(0x02, std::string(1, '\0') + modulus) +
                                                                                     tlv(0x02, "\x01\x00\x01"))));
    ASSERT_EQ(::mkfifo((keys + "/pipe.pem").c_str(), 0600), 0);
    fs::create_directory(keys + "/folder.pem");

    struct Case {
        std::string name;
        int kind;
        std::string says;
        std::string contents;  // none for the nodes made above and the missing file
    };
    std::vector<Case> cases = {
        {"garbage.pem", kPrivate, "is not a key file.", enginetest::pseudoRandom(700, 3)},
        {"text.pem", kPublic, "is not a key file.", "just some text\n"},
        {"empty.pem", kPrivate, "is empty: it is not a key file.", ""},
        {"half.pem", kPrivate, "is a damaged or truncated key file.", pem.substr(0, pem.size() / 2)},
        {"cut.der", kPrivate, "is a damaged or truncated key file.", der.substr(0, der.size() - 20)},
        {"public.pem", kPrivate, "holds a public key, not a private key.", readAll(publicPem)},
        {"private.pem", kPublic, "holds a private key, not a public key.", pem},
        {"large.pem", kPrivate, "is not a key file.", pem + std::string(1 << 20, ' ')},
        {"huge.pem", kPublic, "holds a 100000-bit RSA key; keys from 512 to 16384 bits can be used.",
         derToPem("PUBLIC KEY", hugeKey)},
        {"odd.pem", kPrivate, "holds an invalid RSA private key (its numbers do not fit together).",
         derToPem("PRIVATE KEY", otherExponent)},
        {"pair.pem", kPrivate, "holds more than one key; save each key to a file of its own.",
         pem + readAll(publicPem)},
        {"two-public.pem", kPublic, "holds more than one key; save each key to a file of its own.",
         readAll(publicPem) + "\n" + readAll(otherPublicPem)},
        {"even-exponent.pem", kPublic, "holds an invalid RSA public key (its public exponent is even).",
         derToPem("PUBLIC KEY", evenExponent)},
        {"even-private-exponent.pem", kPrivate,
         "holds an invalid RSA private key (its public exponent is even).",
         derToPem("PRIVATE KEY", evenPrivateExponent)},
        {"even-modulus.pem", kPublic, "holds an invalid RSA public key (its modulus is even).",
         derToPem("PUBLIC KEY", evenModulus)},
        {"certificate.pem", kPublic, "holds a PEM block labelled CERTIFICATE, not an RSA key.",
         "-----BEGIN CERTIFICATE-----\nMAA=\n-----END CERTIFICATE-----\n"},
        {"missing.pem", kPrivate, "", ""},
        {"folder.pem", kPublic, "", ""},
        {"pipe.pem", kPrivate, "", ""},
    };
    if (enginetest::haveTool("openssl")) {
        const std::string made = file("made");
        fs::create_directory(made);
        ASSERT_TRUE(openssl("pkcs8 -topk8 -in " + privatePem + " -passout pass:secret -out " + made + "/locked.pem"));
        ASSERT_TRUE(openssl("pkcs8 -topk8 -in " + privatePem + " -passout pass:secret -outform DER -out " + made +
                            "/locked.der"));
        ASSERT_TRUE(openssl("genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out " + made + "/ec.pem"));
        ASSERT_TRUE(openssl("genpkey -algorithm RSA-PSS -pkeyopt rsa_keygen_bits:1024 -out " + made + "/pss.pem"));
        const std::string locked = "is a password-protected key file, which is not supported.";
        cases.push_back({"locked.pem", kPrivate, locked, readAll(made + "/locked.pem")});
        cases.push_back({"locked.der", kPrivate, locked, readAll(made + "/locked.der")});
        cases.push_back({"ec.pem", kPrivate, "holds a key of an unsupported kind (EC); only RSA keys can be used.",
                         readAll(made + "/ec.pem")});
        cases.push_back({"pss.pem", kPrivate,
                         "holds a key of an unsupported kind (RSA-PSS); only RSA keys can be used.",
                         readAll(made + "/pss.pem")});
        fs::remove_all(made);
    } else {
        std::cout << "openssl is not installed: no password-protected, EC or RSA-PSS key files.\n";
    }
    for (const Case& c : cases)
        if (!c.says.empty()) enginetest::writeAll(keys + "/" + c.name, c.contents);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = keys + "/" + c.name;
        std::string says = "The file " + inQuotes(path) + " " + c.says;
        if (c.name == "missing.pem") says = "Cannot open " + inQuotes(path) + ": No such file or directory.";
        if (c.name == "folder.pem") says = "Cannot open " + inQuotes(path) + ": it is a folder, not a file.";
        if (c.name == "pipe.pem") says = "Cannot open " + inQuotes(path) + ": it is not a regular file.";
        // The tab holds a working pair before each load.
        form.button("cmdAsymGenKey").userClick();
        const Tree before = treeOf(dir.path());
        load(c.kind, path);
        EXPECT_EQ(takeBoxes(), std::vector<std::string>{errorBox(kLoadTitle, says)});
        EXPECT_EQ(treeOf(dir.path()), before);
        // Until a key is generated or loaded, the tab offers nothing to do with keys it may not hold.
        EXPECT_FALSE(window->asymmetricTab().asymKeyReady());
        EXPECT_EQ(actions(), "");
    }

    // A key file only its owner may read, loaded by someone else.
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(keys.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(privatePem.c_str(), 0600), 0);
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod(privatePem.c_str(), 0), 0);
    }
    form.button("cmdAsymGenKey").userClick();
    kind(kPrivate);
    ui.fileAnswers.push_back(privatePem);
    const Tree before = treeOf(dir.path());
    const std::string seen = enginetest::asAnotherUser([&] {
        form.button("cmdAsymLoad").userClick();
        const std::vector<std::string> boxes = takeBoxes();
        return boxes.size() == 1 ? boxes[0] : std::to_string(boxes.size()) + " boxes";
    });
    EXPECT_EQ(seen, errorBox(kLoadTitle, "Cannot open " + inQuotes(privatePem) + ": Permission denied."));
    EXPECT_EQ(treeOf(dir.path()), before);
}

TEST_F(BadKeyFile, ARelatedKeyOfAnotherPairIsRefusedAndTheKeyLoadedBeforeKept) {
    const Tree before = treeOf(dir.path());
    // A private key, then a public key that is not its half.
    load(kPrivate, privatePem);
    ASSERT_EQ(actions(), "Dec Sign");
    loadRelated(otherPublicPem);
    EXPECT_EQ(takeBoxes(), std::vector<std::string>{errorBox(
                               kLoadTitle, "The file " + inQuotes(otherPublicPem) +
                                               " holds a public key of another pair: it does not belong to the "
                                               "private key loaded before.")});
    EXPECT_EQ(actions(), "Dec Sign");
    EXPECT_EQ(form.button("cmdAsymLoad").caption() + " / " + form.button("cmdAsymLoadRelat").caption(),
              "Load Key Private / Load Key Public Related");
    // Its own half is taken, and the pair signs and verifies.
    loadRelated(publicPem);
    EXPECT_EQ(takeBoxes(), std::vector<std::string>{});
    EXPECT_EQ(actions(), "Enc Dec Sign");
    EXPECT_EQ(signAndVerify(), warningBox("Valid signature "));

    // A public key, then a private key of another pair.
    load(kPublic, publicPem);
    ASSERT_EQ(actions(), "Enc");
    loadRelated(otherPrivatePem);
    EXPECT_EQ(takeBoxes(), std::vector<std::string>{errorBox(
                               kLoadTitle, "The file " + inQuotes(otherPrivatePem) +
                                               " holds a private key of another pair: it does not belong to the "
                                               "public key loaded before.")});
    EXPECT_EQ(actions(), "Enc");
    loadRelated(privatePem);
    EXPECT_EQ(takeBoxes(), std::vector<std::string>{});
    EXPECT_EQ(actions(), "Enc Dec Sign");
    EXPECT_EQ(signAndVerify(), warningBox("Valid signature "));
    EXPECT_EQ(treeOf(dir.path()), before) << "loading writes nothing";
}

TEST_F(BadKeyFile, NamesInTheWindowsOwnMessagesAreEscapedAsTheEnginesAre) {
    // A line break and a right-to-left override in a name could make a message name another file.
    const std::string odd = "note\nThe file \xE2\x80\xAE.fdp.doc";
    const std::string shown = "note\\nThe file \\u202E.fdp.doc";
    const std::string oddOutput = "note\nThe file \xE2\x80\xAE.fdpEnc.doc";
    const std::string oddOutputShown = "note\\nThe file \\u202E.fdpEnc.doc";
    for (const WindowOperation* op : {&kSymEncrypt, &kRsaEncrypt}) {
        SCOPED_TRACE(op->name);
        open(*op, true);
        const std::string source = writeFile(odd, "plain"), target = writeFile(oddOutput, "kept");
        ui.messageAnswers.assign(1, ui::MsgAnswer::No);
        run(*op, source);
        EXPECT_EQ(takeBoxes(), std::vector<std::string>{"question | Quorval | The file \"" + dir.path() +
                                                        "/" + oddOutputShown + "\" already exists. Replace it?"});
        EXPECT_EQ(readAll(target), "kept");
    }
    // A related key of another pair, its file named oddly.
    const std::string oddKey = keys + "/" + odd;
    fs::copy_file(otherPublicPem, oddKey);
    load(kPrivate, privatePem);
    loadRelated(oddKey);
    EXPECT_EQ(takeBoxes(), std::vector<std::string>{
                               errorBox(kLoadTitle, "The file \"" + keys + "/" + shown +
                                                        "\" holds a public key of another pair: it does not "
                                                        "belong to the private key loaded before.")});
}

TEST_F(BadKeyFile, VerifyingWithOneKeyOnlyNamesTheMissingKey) {
    load(kPrivate, privatePem);
    form.option("optAsym", 0).userClick();
    box("txtContAsym").setText("signed text");
    form.button("cmdAsign").userClick();
    const std::string signature = box("txtResAsym").text();
    ASSERT_FALSE(signature.empty());
    const Tree before = treeOf(dir.path());
    form.button("cmdAsymVerifSign").userClick();
    EXPECT_EQ(takeBoxes(), (std::vector<std::string>{warningBox("There is no public key"),
                                                     warningBox("Invalid signature ")}));
    EXPECT_EQ(box("txtContAsym").text(), "signed text");
    EXPECT_EQ(box("txtResAsym").text(), signature);
    EXPECT_EQ(treeOf(dir.path()), before);
}

TEST_F(BadKeyFile, SavingWhereNoKeyFileCanBeWrittenLeavesWhatWasThere) {
    form.button("cmdAsymGenKey").userClick();
    const std::string saves = file("saves");
    fs::create_directory(saves);
    ASSERT_EQ(::mkfifo((saves + "/pipe.pem").c_str(), 0600), 0);
    fs::create_directory(saves + "/folder.pem");
    enginetest::writeAll(saves + "/folder.pem/inside", "kept");
    std::vector<std::pair<std::string, std::string>> cases = {
        {saves + "/pipe.pem", "it is a pipe, not a regular file; it was left as it is."},
        {saves + "/folder.pem", "it is a folder."},
        {saves + "/no-such-folder/key.pem", ""},
    };
    if (::geteuid() == 0 && ::mknod((saves + "/device.pem").c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0)
        cases.push_back({saves + "/device.pem", "it is a device, not a regular file; it was left as it is."});
    for (const auto& [path, reason] : cases) {
        for (int which : {kPrivate, kPublic}) {
            SCOPED_TRACE(path);
            const Tree before = treeOf(dir.path());
            save(which, path);
            const std::string says = reason.empty()
                                         ? "Cannot create " + inQuotes(path) + ": No such file or directory."
                                         : "Cannot write " + inQuotes(path) + ": " + reason;
            EXPECT_EQ(takeBoxes(), std::vector<std::string>{errorBox(kSaveTitle, says)});
            EXPECT_EQ(treeOf(dir.path()), before);
        }
    }

    // As someone else: a file the user may not write, a folder the user may not write into.
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(saves.c_str(), 0777), 0);
    enginetest::writeAll(saves + "/kept.pem", "an older key");
    ASSERT_EQ(::chmod((saves + "/kept.pem").c_str(), 0444), 0);
    fs::create_directory(saves + "/locked");
    ASSERT_EQ(::chmod((saves + "/locked").c_str(), 0555), 0);
    const std::pair<std::string, std::string> refused[] = {
        {saves + "/kept.pem", "Cannot replace " + inQuotes(saves + "/kept.pem") +
                                  ": you may not write to this file (Permission denied); it was left as it is."},
        {saves + "/locked/key.pem", "Cannot create " + inQuotes(saves + "/locked/key.pem") + ": Permission denied."},
    };
    for (const auto& [path, says] : refused) {
        for (int which : {kPrivate, kPublic}) {
            SCOPED_TRACE(path);
            kind(which);
            ui.fileAnswers.push_back(path);
            const Tree before = treeOf(dir.path());
            const std::string seen = enginetest::asAnotherUser([&] {
                form.button("cmdAsymSave").userClick();
                const std::vector<std::string> boxes = takeBoxes();
                return boxes.size() == 1 ? boxes[0] : std::to_string(boxes.size()) + " boxes";
            });
            ui.modalScripts.clear();
            ui.fileAnswers.clear();
            EXPECT_EQ(seen, errorBox(kSaveTitle, says));
            EXPECT_EQ(treeOf(dir.path()), before);
        }
    }
}

TEST_F(BadKeyFile, SavingToAFullOrReadOnlyDiskLeavesWhatWasThere) {
    form.button("cmdAsymGenKey").userClick();
    SmallDisk disk(1 << 20);
    if (!disk.refused.empty()) GTEST_SKIP() << disk.refused;
    const std::string kept = disk.file("kept.pem");
    enginetest::writeAll(kept, "an older key");
    disk.fill("filler", 0);
    for (const std::string& path : {kept, disk.file("new.pem")}) {
        for (int which : {kPrivate, kPublic}) {
            SCOPED_TRACE(path);
            const Tree before = treeOf(disk.path());
            save(which, path);
            EXPECT_EQ(takeBoxes(), std::vector<std::string>{errorBox(
                                       kSaveTitle, "Cannot write " + inQuotes(path) + ": No space left on device.")});
            EXPECT_EQ(treeOf(disk.path()), before);
        }
    }
    fs::remove(disk.file("filler"));
    ASSERT_TRUE(disk.readOnly());
    const std::pair<std::string, std::string> cases[] = {
        {kept, "Cannot replace " + inQuotes(kept) +
                   ": you may not write to this file (Read-only file system); it was left as it is."},
        {disk.file("new.pem"), "Cannot create " + inQuotes(disk.file("new.pem")) + ": Read-only file system."},
    };
    const Tree before = treeOf(disk.path());
    for (const auto& [path, says] : cases) {
        save(kPrivate, path);
        EXPECT_EQ(takeBoxes(), std::vector<std::string>{errorBox(kSaveTitle, says)});
    }
    EXPECT_EQ(treeOf(disk.path()), before);
}

}  // namespace
