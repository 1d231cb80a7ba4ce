// The version information of Q47tw.ds, kept as plain strings in the file (`strings Q47tw.ds`).
namespace q47::twain_source {

// Each entry is NUL-terminated, so `strings` prints one per line.
[[gnu::used]] extern const char kVersionInfo[] =
    "Q47tw version information\0"
    "FileVersion=1.0.2.0\0"
    "ProductVersion=1.0.2.0\0"
    "ProductName=Q-47 Series TWAIN Driver Ver.1.0.1\0"
    "InternalName=Q47tw\0"
    "FileDescription=Q47tw DLL\0"
    "OriginalFilename=Q47tw.ds\0";

}  // namespace q47::twain_source
