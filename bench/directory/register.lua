-- wrk request generator: fills BENCH_ROOMS rooms (default 100 000), each with its own waiting
-- caller (10.x.y.z via X-Forwarded-For), then keeps renewing them. The BENCH_THREADS wrk
-- threads take every BENCH_THREADS-th room each.
local total = tonumber(os.getenv("BENCH_ROOMS") or "100000")
local step = tonumber(os.getenv("BENCH_THREADS") or "2")
local started = 0
local counter = 0

function setup(thread)
  thread:set("first", started)
  started = started + 1
end

function init(args)
  counter = first
end

function request()
  local i = counter % total
  counter = counter + step
  local address = "10." .. math.floor(i / 65536) .. "." .. (math.floor(i / 256) % 256) .. "." .. (i % 256)
  return wrk.format("GET", "/?reg" .. i, { ["Host"] = "directory", ["X-Forwarded-For"] = address })
end
