#include <tessaline/tessaline.h>
int main() { return Tessaline(L"w", L"s", L"DVD").NumDiscs() == 0 ? 0 : 1; }
