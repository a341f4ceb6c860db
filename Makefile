# The README's two commands, `make run` and `make test`, plus `make bench` and `make fuzz`.
# Each first installs whatever is missing (scripts/bootstrap; BOOTSTRAP=0 skips that step), then
# configures and builds, with warnings as errors.
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS       ?= $(shell nproc)
BOOTSTRAP  ?= 1

ifeq ($(BOOTSTRAP),0)
SETUP :=
else
SETUP := bootstrap
endif

.PHONY: all bootstrap build run test bench fuzz clean

all: build

bootstrap:
	@scripts/bootstrap

build: $(SETUP)
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRT_WERROR=ON >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/tumblefoot

test: build
	@scripts/run-tests $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD)

bench: build
	@scripts/run-benchmarks $(BUILD)

fuzz: $(SETUP)
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DRT_FUZZ=ON -DRT_SANITIZE=ON \
	    -DRT_BUILD_GAME=OFF -DRT_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@scripts/run-fuzzers $(FUZZ_BUILD) $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD)
