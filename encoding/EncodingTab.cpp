#include "encoding/EncodingTab.h"

EncodingTab::EncodingTab(TabHost& host) : m_host(host) {}

EncodingTab::~EncodingTab() = default;
