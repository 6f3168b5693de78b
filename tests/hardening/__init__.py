"""Hardening: hostile callers, threads, subinterpreters, fuzzing; the cases also feed tools/leakcheck.py."""
