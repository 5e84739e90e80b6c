#pragma once
// The product's version, one definition for every deliverable: the object library reports it to
// scripts (IZynUtils' MajorVersion, MinorVersion and Build) and the program shows it as its version
// text. The two share the product version; each carries its own build number.

namespace zyn::version {

inline constexpr int kMajor = 2;
inline constexpr int kMinor = 4;
inline constexpr int kObjectLibraryBuild = 1438;
inline constexpr int kProgramBuild = 1439;

// The program's version text, formatted with kMajor, kMinor and kProgramBuild.
inline constexpr char kProgramVersionFormat[] = "Zynthar Tallon. Version %d.%d  Build#%d";

} // namespace zyn::version
