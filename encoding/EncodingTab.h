#pragma once
// The "Encode/Decode" tab: its wrapper `mEnc` and its operations.

#include <memory>

#include "tab/TabHost.h"

class clsEnc;

class EncodingTab : public Tab {
public:
    explicit EncodingTab(TabHost& host);
    ~EncodingTab() override;
    EncodingTab(const EncodingTab&) = delete;
    EncodingTab& operator=(const EncodingTab&) = delete;

    void ReleaseWrapper() override { mEnc.reset(); }

    const std::shared_ptr<clsEnc>& encWrapper() const { return mEnc; }

private:
    TabHost& m_host;
    std::shared_ptr<clsEnc> mEnc;
};
