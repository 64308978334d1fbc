#pragma once
// The "Symetric Encrypt/Decrypt" tab: its wrapper `mSym` and its operations.

#include <memory>

#include "tab/TabHost.h"

class clsSym;

class SymmetricTab : public Tab {
public:
    explicit SymmetricTab(TabHost& host);
    ~SymmetricTab() override;
    SymmetricTab(const SymmetricTab&) = delete;
    SymmetricTab& operator=(const SymmetricTab&) = delete;

    void ReleaseWrapper() override { mSym.reset(); }

    const std::shared_ptr<clsSym>& symWrapper() const { return mSym; }

private:
    TabHost& m_host;
    std::shared_ptr<clsSym> mSym;
};
