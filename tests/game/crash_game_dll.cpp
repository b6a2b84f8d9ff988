// The DLL the crash game ships, to crash inside a module of its own.
namespace {

[[gnu::noinline]] void PlantedDllLeaf(int* target) { *target = 9; }
[[gnu::noinline]] void PlantedDllMiddle(int* target) { PlantedDllLeaf(target); }

}  // namespace

extern "C" __declspec(dllexport) void CrashGameDllEntry(int* target) { PlantedDllMiddle(target); }
