// SPDX-License-Identifier: Apache-2.0
// Drives the "Asymmetric Encrypt/Decrypt" tab of the real window (offscreen
// Qt) and prints what it timed in the process, start-up excluded; CPU time is
// the whole process's, every thread's.
//
//   quorval_asym_tab keygen 512|1024|2048 N   wall and CPU milliseconds per key, N presses of
//                                             "Generate keys"
//   quorval_asym_tab rsa FILE                 wall and CPU seconds to encrypt FILE through the tab
//                                             with a 2048-bit key, then those to decrypt the result
//   quorval_asym_tab aes FILE                 the same with the engine's AES-256 CBC cipher on
//                                             the window's engine root, as the symmetric tab uses it
//
// Both file modes use compression 0, Binary output, and the window's progress
// handler; outputs beside FILE are removed before timing and afterwards.

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/frmMain.h"
#include "app/frmMainForm.h"
#include "bench/BenchStats.h"
#include "engine/Engine.h"
#include "ui/qt/QtWindowing.h"
#include "util/modUtils.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Wall and CPU seconds of one piece of work.
struct Cost {
    double wall = 0;
    double cpu = 0;
};

template <typename Work>
Cost costOf(Work&& work) {
    const Clock::time_point start = Clock::now();
    const double cpu = bench::processCpuSeconds();
    work();
    return {secondsSince(start), bench::processCpuSeconds() - cpu};
}

void remove(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

int usage() {
    std::fprintf(stderr, "usage: quorval_asym_tab keygen BITS N | rsa FILE | aes FILE\n");
    return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc < 3) return usage();
    const std::string mode = argv[1];

    ui::qt::QtWindowing windowing(frmMainLayout());
    // The symmetric core without its password stretching: the container's cipher and MAC alone.
    frmMain window(windowing, [] { return engine::CreateEngineRoot({1}); });
    window.Form_Load();
    windowing.showMain();
    ui::Form& form = windowing.mainForm();
    auto click = [&form](const char* button) { form.button(button).click.raise(); };

    if (mode == "keygen" && argc == 4) {
        const std::string bits = argv[2];
        const int position = bits == "512" ? 0 : bits == "1024" ? 1 : bits == "2048" ? 2 : -1;
        const int count = std::stoi(argv[3]);
        if (position < 0 || count < 1) return usage();
        form.comboBox("cboAsymKey").setListIndex(position);
        const Cost cost = costOf([&] {
            for (int i = 0; i < count; ++i) {
                // A new seed each time: the same settings would keep the current pair.
                form.textBox("txtAsymSeed").setText("seed " + std::to_string(i));
                click("cmdAsymGenKey");
            }
        });
        if (!form.button("cmdEncAsym").isEnabled()) return 1;
        std::printf("%.3f %.3f\n", cost.wall * 1000 / count, cost.cpu * 1000 / count);
        return 0;
    }
    if ((mode == "rsa" || mode == "aes") && argc == 3) {
        const std::string source = argv[2];
        const std::string encrypted = modUtils::AddFileSuffix(source, "Enc");
        const std::string decrypted = modUtils::AddFileSuffix(encrypted, "Dec");
        remove(encrypted);
        remove(decrypted);
        Cost encryption, decryption;
        if (mode == "rsa") {
            form.comboBox("cboAsymKey").setListIndex(2);
            click("cmdAsymGenKey");
            form.upDown("udAsym").setValue(0);
            form.option("optTypeAsym", 0).setValue(true);
            form.option("optAsym", 1).setValue(true);
            form.textBox("txtContAsym").setText(source);
            encryption = costOf([&] { click("cmdEncAsym"); });
            if (form.textBox("txtResAsym").text() != encrypted) return 1;
            decryption = costOf([&] { click("cmdDecAsym"); });
            if (form.textBox("txtContAsym").text() != decrypted) return 1;
        } else {
            auto cipher =
                window.engineRoot()->NewSymCipher(engine::SymAlgorithm::Aes, "benchmark password", 256);
            cipher->CipherMode(engine::ModeOfOperation::Cbc);
            cipher->Padding(engine::BlockPadding::Pkcs7);
            cipher->Compression(0);
            cipher->Encoding(engine::OutputEncoding::Binary);
            encryption = costOf([&] { cipher->EncryptFile(source, encrypted); });
            decryption = costOf([&] { cipher->DecryptFile(encrypted, decrypted); });
        }
        const bool same = std::filesystem::file_size(decrypted) == std::filesystem::file_size(source);
        remove(encrypted);
        remove(decrypted);
        if (!same) return 1;
        std::printf("%.3f %.3f %.3f %.3f\n", encryption.wall, encryption.cpu, decryption.wall, decryption.cpu);
        return 0;
    }
    return usage();
}
