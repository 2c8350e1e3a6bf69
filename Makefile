# vexlar: `make test` builds whatever is missing (toolchain, venv, package) and runs the tests;
# `make demo` opens a real window for a few frames; `make bench` runs the benchmarks.
SHELL := /bin/bash
.DEFAULT_GOAL := test

TOOLCHAIN ?= $(or $(VEXLAR_TOOLCHAIN),$(or $(XDG_CACHE_HOME),$(HOME)/.cache)/vexlar-toolchain)
export VEXLAR_TOOLCHAIN := $(TOOLCHAIN)

# PYTHON given by the user must already be a free-threaded 3.14 (bootstrap checks it);
# otherwise the toolchain's own interpreter is built and used.
ifeq ($(origin PYTHON),undefined)
PYTHON := $(TOOLCHAIN)/python/bin/python3.14t
BOOTSTRAP := env -u PYTHON scripts/bootstrap
else
BOOTSTRAP := env PYTHON="$(PYTHON)" scripts/bootstrap
endif

# A system raylib >= 6.0 is found by pkg-config as well; the toolchain's comes first.
export PKG_CONFIG_PATH := $(TOOLCHAIN)/raylib/lib/pkgconfig$(if $(PKG_CONFIG_PATH),:$(PKG_CONFIG_PATH))

VENV := .venv
VPY := $(VENV)/bin/python
STAMPS := .stamps
SOURCES := $(shell find src -type f -not -name '*.pyc' 2>/dev/null) CMakeLists.txt pyproject.toml
PYTEST_ARGS ?=

.PHONY: toolchain venv install test demo bench clean

toolchain:
	@$(BOOTSTRAP)

$(STAMPS)/venv: requirements-dev.txt | toolchain
	@mkdir -p $(STAMPS)
	"$(PYTHON)" -m venv --clear $(VENV)
	$(VPY) -m pip install -q -r requirements-dev.txt
	@echo "$(PYTHON)" > $@

venv: $(STAMPS)/venv

$(STAMPS)/install: $(STAMPS)/venv $(SOURCES) | toolchain
	$(VPY) -m pip install -q --no-build-isolation --no-deps .
	@touch $@

install: toolchain $(STAMPS)/install

test: install
	$(VPY) -m pytest $(PYTEST_ARGS)

demo: install
	@if [ -n "$$DISPLAY" ]; then $(VPY) scripts/demo.py; else xvfb-run -a -s "-screen 0 1280x800x24" $(VPY) scripts/demo.py; fi

bench: install
	$(VPY) bench/run.py

clean:
	rm -rf build $(STAMPS) $(VENV)
