#pragma once

// What the benchmarks read of other processes.
#include <cstdio>
#include <dirent.h>
#include <string>
#include <sys/types.h>

// A process's CPU so far, over all its threads, in seconds; negative when it is gone.
inline double ProcessCpu(pid_t pid) {
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* folder = ::opendir(tasks.c_str());
    if (!folder) return -1;
    double total = 0;
    while (const dirent* entry = ::readdir(folder)) {
        if (entry->d_name[0] == '.') continue;
        // The first figure is the time spent on a processor, in nanoseconds.
        FILE* file = std::fopen((tasks + "/" + entry->d_name + "/schedstat").c_str(), "r");
        unsigned long long ns = 0;
        if (file && std::fscanf(file, "%llu", &ns) == 1) total += double(ns) * 1e-9;
        if (file) std::fclose(file);
    }
    ::closedir(folder);
    return total;
}
