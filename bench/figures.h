// The figures of tarnwick_bench, each measured against a baseline doing
// the same work in the same run, and the child processes some of them run
// again this program as (`self`), so that their peak memory is their own.
#pragma once

#include <cstddef>
#include <string>

namespace tw::bench {

// Requests and walks (request_figures.cpp).
void Head(int repeats);
void Walk(int repeats, const std::string& self);
void SlowWalk(int repeats, const std::string& self);
// `fetching`: "ahead" or "one" (one request at a time).
int WalkChild(const std::string& location, const std::string& root, const std::string& fetching);

// A check where nothing changed, under the signed index, against the walk
// (index_figures.cpp): on loopback, through the latency relay, or only the
// check's unavoidable part (the index and a look at each module file).
enum class IndexFigure { Check, SlowCheck, Floor };
void IndexCheck(int repeats, const std::string& self, IndexFigure figure);
int IndexChild(const std::string& location, const std::string& root);
int IndexFloorChild(const std::string& location, const std::string& root);

// The module list, without widgets and in the real window (list_figures.cpp).
void List(int repeats, const std::string& self);
void Window(int repeats, const std::string& self);
// `what`: "fill" (the list filled from the walk) or "walk" (the walk alone).
int ListChild(const std::string& location, const std::string& root, const std::string& what);
int WindowChild(const std::string& location, const std::string& root, const std::string& what);

// Files: download, digest, replacement (file_figures.cpp).
void Download(int repeats, const std::string& self, size_t mib);
void Digest(int repeats, const std::string& self, size_t mib);
void Replace(int repeats);
int DownloadChild(const std::string& location, const std::string& root, const std::string& name);
int DigestChild(const std::string& location, const std::string& root, const std::string& module);

}  // namespace tw::bench
