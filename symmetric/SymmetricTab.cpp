#include "symmetric/SymmetricTab.h"

SymmetricTab::SymmetricTab(TabHost& host) : m_host(host) {}

SymmetricTab::~SymmetricTab() = default;
