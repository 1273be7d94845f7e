# make run   : install what is missing (through sudo), build, start tavrin
#              as the calling user
# make test  : install what is missing (through sudo), build, run every test
# make test SANITIZE=1 : the same under AddressSanitizer + UndefinedBehaviorSanitizer
# make bundle: build, then lay out build/Tavrin.app (cmake --install; any
#              prefix makes a bundle)
# make fuzz  : build the fuzz targets with clang and run each for FUZZ_SECONDS

SANITIZE ?= 0
WERROR ?= $(if $(CI),ON,OFF)
FUZZ_SECONDS ?= 20
JOBS ?= $(shell nproc)

ifeq ($(SANITIZE),1)
BUILD := build-asan
SAN_FLAGS := -DTAVRIN_SANITIZE=ON
else
BUILD := build
SAN_FLAGS :=
endif

.PHONY: deps configure build bundle run test fuzz bench clean

deps:
	@bash scripts/deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DTAVRIN_WERROR=$(WERROR) $(SAN_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

bundle: build
	@cmake --install $(BUILD) --prefix $(BUILD)/Tavrin.app >/dev/null
	@echo "bundle: $(BUILD)/Tavrin.app"

# Tavrin watches the logged-in user's session. Started through sudo, it
# still runs as the user who asked, on their display and with their settings.
run: build
	@if [ "$$(id -u)" -eq 0 ] && [ -n "$${SUDO_USER:-}" ] && [ "$$SUDO_USER" != root ]; then \
	  echo "run: starting tavrin as $$SUDO_USER"; \
	  exec sudo -u "$$SUDO_USER" -H \
	    --preserve-env=DISPLAY,WAYLAND_DISPLAY,XAUTHORITY,XDG_RUNTIME_DIR,DBUS_SESSION_BUS_ADDRESS \
	    ./$(BUILD)/bin/tavrin; \
	fi; \
	exec ./$(BUILD)/bin/tavrin

test: build
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

bench: build
	@for b in $(BUILD)/bin/bench_*; do echo "== $$b"; $$b; done

fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DTAVRIN_FUZZ=ON -DTAVRIN_WERROR=$(WERROR) >/dev/null
	@cmake --build build-fuzz -j $(JOBS)
	@bash scripts/fuzz.sh build-fuzz $(FUZZ_SECONDS)

clean:
	rm -rf build build-asan build-fuzz
