// SPDX-License-Identifier: Apache-2.0
// Signatures that do not belong to the data or to the key, in any encoding,
// for a text and for a file: "Invalid signature ", never an error, and
// nothing changes, neither the boxes nor the files.

#include "tests/logic/catalogue/CatalogueSupport.h"

using namespace catalogue;

namespace {

class BadSignature : public Catalogue {
protected:
    // Verifies the data in the left-hand box against the signature in the right-hand one.
    std::string verify(const std::string& data, const std::string& signature) {
        box("txtContAsym").setText(data);
        box("txtResAsym").setText(signature);
        form.button("cmdAsymVerifSign").userClick();
        const std::vector<std::string> boxes = takeBoxes();
        EXPECT_TRUE(box("txtContAsym").text() == data) << "the data box changed";
        EXPECT_TRUE(box("txtResAsym").text() == signature) << "the signature box changed";
        return boxes.size() == 1 ? boxes[0] : std::to_string(boxes.size()) + " boxes";
    }
    std::string sign(const std::string& data) {
        box("txtContAsym").setText(data);
        form.button("cmdAsign").userClick();
        EXPECT_EQ(takeBoxes(), std::vector<std::string>{});
        return box("txtResAsym").text();
    }
};

TEST_F(BadSignature, ASignatureThatDoesNotBelongIsInvalidAndChangesNothing) {
    const std::string invalid = warningBox("Invalid signature "), valid = warningBox("Valid signature ");
    auto otherRoot = engine::CreateEngineRoot(enginetest::fastOptions());
    std::shared_ptr<engine::EngineAsymKey> otherPublic;
    const auto otherPrivate =
        otherRoot->NewKeyPair(engine::KeyKind::KeyPair, 512, "", engine::EncryptionSchema::Oaep, otherPublic);
    const std::string data = "the signed text";
    for (int encoding = 0; encoding < 3; ++encoding) {
        SCOPED_TRACE(encoding);
        open(kSign, false);
        form.option("optTypeAsym", encoding).userClick();
        const std::string signature = sign(data);
        std::string changed = signature;
        changed[changed.size() / 2] ^= 0x01;
        otherPrivate->Encoding(static_cast<engine::OutputEncoding>(encoding));
        EXPECT_EQ(verify(data + "!", signature), invalid) << "changed data";
        EXPECT_EQ(verify(data, changed), invalid) << "a changed signature";
        EXPECT_EQ(verify(data, otherPrivate->SignText(data)), invalid) << "another key's signature";
        EXPECT_EQ(verify(data, signature.substr(0, signature.size() / 2)), invalid) << "half a signature";
        EXPECT_EQ(verify(data, signature + signature), invalid) << "twice as long";
        EXPECT_EQ(verify(data, "not a signature"), invalid);
        EXPECT_EQ(verify(data, ""), invalid);
        EXPECT_EQ(verify(data, signature), valid) << "the signature itself";
    }

    // A file: another file's contents, or the file changed since it was signed.
    open(kSign, true);
    const std::string path = writeFile("signed.txt", "the signed file");
    const std::string signature = sign(path);
    writeFile("other.txt", "another file");
    const Tree before = treeOf(dir.path());
    EXPECT_EQ(verify(file("other.txt"), signature), invalid);
    EXPECT_EQ(verify(path, otherPrivate->SignText("the signed file")), invalid);
    EXPECT_EQ(treeOf(dir.path()), before);
    enginetest::writeAll(path, "the signed file, changed");
    EXPECT_EQ(verify(path, signature), invalid);
    enginetest::writeAll(path, "the signed file");
    EXPECT_EQ(verify(path, signature), valid);
}

}  // namespace
