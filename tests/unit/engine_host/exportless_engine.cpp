// A library that loads but has no PatchApply32.
extern "C" int SomethingElse() { return 1; }
