// SPDX-License-Identifier: GPL-2.0-only OR MIT
/*
 * The camera's accessory hardware for the test guest, which has none: a GPIO chip whose
 * lines are exported under their names (/sys/class/gpio/acc_power, acc_led), the
 * accessory's camera device with a driver that refuses to probe while acc_power is 0, and
 * the accessory itself, plugged and unplugged by writing 1 or 0 to the module parameter
 * "accessory" (a platform device "vornic-accessory" comes and goes, with its uevents). With
 * the parameter "broken_camera" set, the camera never answers: its driver refuses to bind
 * even with power, as a broken accessory's would.
 */
#include <linux/gpio/consumer.h>
#include <linux/gpio/driver.h>
#include <linux/gpio/machine.h>
#include <linux/module.h>
#include <linux/mutex.h>
#include <linux/platform_device.h>

enum { LINE_POWER, LINE_LED, LINE_COUNT };

static const char *const line_names[LINE_COUNT] = { "acc_power", "acc_led" };
static unsigned long line_values;
static struct gpio_desc *line_descs[LINE_COUNT];

static int testbed_get(struct gpio_chip *chip, unsigned int offset)
{
	return test_bit(offset, &line_values);
}

static void testbed_set(struct gpio_chip *chip, unsigned int offset, int value)
{
	assign_bit(offset, &line_values, value);
}

static int testbed_direction_output(struct gpio_chip *chip, unsigned int offset, int value)
{
	testbed_set(chip, offset, value);
	return 0;
}

static int testbed_get_direction(struct gpio_chip *chip, unsigned int offset)
{
	return GPIO_LINE_DIRECTION_OUT;
}

static struct gpio_chip testbed_chip = {
	.label = "vornic-testbed",
	.owner = THIS_MODULE,
	.base = -1,
	.ngpio = LINE_COUNT,
	.names = line_names,
	.get = testbed_get,
	.set = testbed_set,
	.direction_output = testbed_direction_output,
	.get_direction = testbed_get_direction,
};

static bool broken_camera;
module_param(broken_camera, bool, 0644);
MODULE_PARM_DESC(broken_camera, "1: the accessory's camera never answers, its driver never binds");

/* The camera device on the accessory answers only while the accessory has power. */
static int camera_probe(struct platform_device *pdev)
{
	if (READ_ONCE(broken_camera)) {
		dev_info(&pdev->dev, "camera does not answer, not probing\n");
		return -EIO;
	}
	if (!test_bit(LINE_POWER, &line_values)) {
		dev_info(&pdev->dev, "accessory power is off, not probing\n");
		return -ENODEV;
	}
	dev_info(&pdev->dev, "bound\n");
	return 0;
}

static int camera_remove(struct platform_device *pdev)
{
	dev_info(&pdev->dev, "unbound\n");
	return 0;
}

static struct platform_driver camera_driver = {
	.driver = { .name = "vornic-acc-cam" },
	.probe = camera_probe,
	.remove = camera_remove,
};

static struct platform_device *camera_device;
static struct platform_device *accessory;
static DEFINE_MUTEX(accessory_lock);

static int accessory_set(const char *value, const struct kernel_param *kp)
{
	bool plugged;
	int ret = kstrtobool(value, &plugged);

	if (ret)
		return ret;
	mutex_lock(&accessory_lock);
	if (plugged && !accessory) {
		accessory = platform_device_register_simple("vornic-accessory",
							    PLATFORM_DEVID_NONE, NULL, 0);
		if (IS_ERR(accessory)) {
			ret = PTR_ERR(accessory);
			accessory = NULL;
		}
	} else if (!plugged && accessory) {
		platform_device_unregister(accessory);
		accessory = NULL;
	}
	mutex_unlock(&accessory_lock);
	return ret;
}

static int accessory_get(char *buffer, const struct kernel_param *kp)
{
	return sysfs_emit(buffer, "%d\n", accessory != NULL);
}

static const struct kernel_param_ops accessory_ops = {
	.set = accessory_set,
	.get = accessory_get,
};
module_param_cb(accessory, &accessory_ops, NULL, 0644);
MODULE_PARM_DESC(accessory, "1: the accessory is plugged in, 0: it is not");

static void unexport_lines(void)
{
	int i;

	for (i = 0; i < LINE_COUNT; i++) {
		if (line_descs[i]) {
			gpiod_unexport(line_descs[i]);
			gpiochip_free_own_desc(line_descs[i]);
			line_descs[i] = NULL;
		}
	}
}

static int __init testbed_init(void)
{
	int ret, i;

	ret = gpiochip_add_data(&testbed_chip, NULL);
	if (ret)
		return ret;
	/* Exported as outputs at 0, as a board file would leave them for user space. */
	for (i = 0; i < LINE_COUNT; i++) {
		struct gpio_desc *desc = gpiochip_request_own_desc(&testbed_chip, i, line_names[i],
								    GPIO_LOOKUP_FLAGS_DEFAULT,
								    GPIOD_OUT_LOW);
		if (IS_ERR(desc)) {
			ret = PTR_ERR(desc);
			goto fail_lines;
		}
		line_descs[i] = desc;
		ret = gpiod_export(desc, false);
		if (ret)
			goto fail_lines;
	}
	ret = platform_driver_register(&camera_driver);
	if (ret)
		goto fail_lines;
	camera_device = platform_device_register_simple("vornic-acc-cam", PLATFORM_DEVID_NONE,
							NULL, 0);
	if (IS_ERR(camera_device)) {
		ret = PTR_ERR(camera_device);
		goto fail_driver;
	}
	return 0;

fail_driver:
	platform_driver_unregister(&camera_driver);
fail_lines:
	unexport_lines();
	gpiochip_remove(&testbed_chip);
	return ret;
}

static void __exit testbed_exit(void)
{
	if (accessory)
		platform_device_unregister(accessory);
	platform_device_unregister(camera_device);
	platform_driver_unregister(&camera_driver);
	unexport_lines();
	gpiochip_remove(&testbed_chip);
}

module_init(testbed_init);
module_exit(testbed_exit);
MODULE_DESCRIPTION("Accessory GPIO lines, camera device and hot-plug for vornic's test guest");
MODULE_LICENSE("Dual MIT/GPL");
