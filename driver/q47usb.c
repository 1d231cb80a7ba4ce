// SPDX-License-Identifier: GPL-2.0
/*
 * q47usb: USB driver of the Q-47 copyboard, one /dev/zwbd_c_series<n> per board.
 *
 * Each read is one bulk-in transfer and each write one bulk-out transfer of at most
 * 4096 bytes; the packets pass through untouched. The node is exclusive and takes no
 * ioctl. The board's identifiers are not built in: give them as the vendor/product
 * parameters or write them to the driver's new_id file.
 *
 * Lifetime follows the USB skeleton driver: the device structure is reference
 * counted (binding + each open file), so a disconnect while a call waits never frees
 * memory under it; io_mutex orders submissions against disconnect. The structure
 * also holds the interface, so that a file closed after an unplug or unbind can still
 * give back the runtime power reference its open took.
 *
 * A signal never loses data: a call that has moved nothing is restarted or fails with
 * EINTR as the signal's handler asks; one that has moved part of a transfer returns
 * those bytes. An unplug or reset ends a waiting call with ENODEV, a failed transfer
 * with EIO. A sleep after which the USB core resets the board keeps its node.
 *
 * The trace lines go to the kernel log at debug level (dynamic debug:
 * "insmod q47usb.ko dyndbg=+p").
 */
#define pr_fmt(fmt) KBUILD_MODNAME ": " fmt

#include <linux/cdev.h>
#include <linux/completion.h>
#include <linux/device.h>
#include <linux/fs.h>
#include <linux/idr.h>
#include <linux/kernel.h>
#include <linux/kgdb.h>
#include <linux/kref.h>
#include <linux/module.h>
#include <linux/mutex.h>
#include <linux/slab.h>
#include <linux/uaccess.h>
#include <linux/usb.h>
#include <linux/version.h>
#include <linux/wait.h>

#define Q47_MAX_TRANSFER	4096	/* largest single transfer, both directions */
#define Q47_EP_OUT		0x01	/* host-to-board packets */
#define Q47_EP_IN		0x82	/* board-to-host packets */
#define Q47_CONFIGURATION	1
#define Q47_INTERFACE		0
#define Q47_MINORS		256	/* boards present at once */
#define Q47_NODE_NAME		"zwbd_c_series%u"
#define Q47_UNPLUG_GRACE_MS	1000	/* how long a link error may wait to become -ENODEV */

static ushort vendor;
module_param(vendor, ushort, 0444);
MODULE_PARM_DESC(vendor, "USB vendor id of the board (0: bind only through new_id)");

static ushort product;
module_param(product, ushort, 0444);
MODULE_PARM_DESC(product, "USB product id of the board");

static uint break_on_entry;
module_param(break_on_entry, uint, 0444);
MODULE_PARM_DESC(break_on_entry,
		 "nonzero: stop in the kernel debugger at load (a warning with a stack trace when none is attached)");

/* One board per interface. */
struct q47_dev {
	struct usb_device *udev;	/* the board, held until the last reference goes */
	struct usb_interface *interface; /* held until the last reference goes */
	bool disconnected;		/* set under io_mutex when the board is unbound */
	struct usb_anchor submitted;	/* transfers in flight, cancelled at disconnect */
	wait_queue_head_t gone;		/* woken when the board is disconnected */
	struct mutex io_mutex;		/* orders submission against disconnect and reset */
	struct kref kref;		/* the binding plus each open file */
	atomic_t opened;		/* 1 while a file holds the node: open is exclusive */
	unsigned int pipe_in;		/* bulk-in 0x82 */
	unsigned int pipe_out;		/* bulk-out 0x01 */
	unsigned int unit;		/* n of the node's name */
	int minor;			/* place in the driver's character device region */
};

/* Filled from vendor/product at load; the zero entry ends the table. */
static struct usb_device_id q47_ids[2];

static DEFINE_MUTEX(q47_table_lock);	/* guards q47_minors and q47_next_unit */
static DEFINE_IDR(q47_minors);		/* minor -> bound board */
static unsigned int q47_next_unit;	/* 0 at load; only goes up, so a replug gets a new name */
static dev_t q47_devt;
static struct cdev q47_cdev;
static struct class *q47_class;
static struct usb_driver q47_driver;

/* A status as the trace lines print it: eight hex digits of the (negative) errno. */
static inline u32 q47_status(int rv)
{
	return (u32)rv;
}

/* Last reference gone: give the board back and free the structure. */
static void q47_delete(struct kref *kref)
{
	struct q47_dev *dev = container_of(kref, struct q47_dev, kref);

	pr_debug("Entering Q47usbDevice::~Q47usbDevice() (destructor)\n");
	usb_put_intf(dev->interface);
	usb_put_dev(dev->udev);
	kfree(dev);
}

/* Completion of one transfer: wake the caller, which owns the URB and its buffer. */
static void q47_transfer_done(struct urb *urb)
{
	complete(urb->context);
}

/*
 * The errno a caller sees for a transfer that ended with a USB status. A transfer the
 * core or this driver cancelled (unplug, port reset, sleep) or one refused because
 * the board is gone is -ENODEV. An unplug first shows as a link error (-EPROTO,
 * -EILSEQ, -ETIME) and only a moment later as a disconnect, once the hub has seen the
 * port change. The wait for that moment is short and only a fatal signal breaks it,
 * so a signal cannot turn an unplug into a link failure. Anything else is -EIO.
 */
static int q47_failure(struct q47_dev *dev, int status)
{
	switch (status) {
	case -ENOMEM:
		return -ENOMEM;
	case -ENOENT:
	case -ECONNRESET:
	case -ESHUTDOWN:
	case -ENODEV:
	case -EHOSTUNREACH:
		return -ENODEV;
	case -EPROTO:
	case -EILSEQ:
	case -ETIME:
		wait_event_killable_timeout(dev->gone, READ_ONCE(dev->disconnected),
					    msecs_to_jiffies(Q47_UNPLUG_GRACE_MS));
		return READ_ONCE(dev->disconnected) ? -ENODEV : -EIO;
	default:
		return READ_ONCE(dev->disconnected) ? -ENODEV : -EIO;
	}
}

/* Whether a transfer ended because it was cancelled, keeping what it had moved. */
static bool q47_cancelled(int status)
{
	return status == -ENOENT || status == -ECONNRESET || status == -ESHUTDOWN;
}

/*
 * One bulk transfer of len bytes over buf, waited for. A signal cancels it. Bytes
 * that moved before the cancel are the call's result, whatever ended it, so a reply
 * is never cut silently. When nothing moved, a signal gives -ERESTARTSYS: the call is
 * restarted after a stop, a freeze for sleep or a handler with SA_RESTART, and fails
 * with EINTR after a handler without it (a user-space time-out); a fatal signal ends
 * the task. Nothing is retried by the driver itself.
 */
static int q47_transfer(struct q47_dev *dev, unsigned int pipe, void *buf, size_t len,
			size_t *done)
{
	DECLARE_COMPLETION_ONSTACK(finished);
	struct urb *urb;
	bool interrupted = false;
	int rv;

	*done = 0;
	urb = usb_alloc_urb(0, GFP_KERNEL);
	if (!urb)
		return -ENOMEM;

	mutex_lock(&dev->io_mutex);
	if (dev->disconnected) {
		mutex_unlock(&dev->io_mutex);
		usb_free_urb(urb);
		return -ENODEV;
	}
	usb_fill_bulk_urb(urb, dev->udev, pipe, buf, len, q47_transfer_done, &finished);
	usb_anchor_urb(urb, &dev->submitted);
	rv = usb_submit_urb(urb, GFP_KERNEL);
	if (rv)
		usb_unanchor_urb(urb);
	mutex_unlock(&dev->io_mutex);
	if (rv) {
		rv = q47_failure(dev, rv);
		goto out;
	}

	if (wait_for_completion_interruptible(&finished)) {
		usb_kill_urb(urb);
		interrupted = true;
	}
	rv = urb->status;
	if (!rv || (q47_cancelled(rv) && urb->actual_length)) {
		/* Done, or cancelled after part of it moved: those bytes are the result. */
		*done = urb->actual_length;
		rv = 0;
	} else if (interrupted && q47_cancelled(rv)) {
		rv = -ERESTARTSYS;
	} else {
		rv = q47_failure(dev, rv);
	}
out:
	usb_free_urb(urb);
	return rv;
}

static int q47_open(struct inode *inode, struct file *file)
{
	struct q47_dev *dev;
	int rv;

	mutex_lock(&q47_table_lock);
	dev = idr_find(&q47_minors, iminor(inode));
	if (dev)
		kref_get(&dev->kref);
	mutex_unlock(&q47_table_lock);
	if (!dev)
		return -ENODEV;

	pr_debug("Entering Q47usbDevice::Create, open(flags 0x%08x)\n", file->f_flags);
	rv = -EBUSY;
	if (atomic_cmpxchg(&dev->opened, 0, 1))
		goto fail;

	mutex_lock(&dev->io_mutex);
	rv = dev->disconnected ? -ENODEV : usb_autopm_get_interface(dev->interface);
	mutex_unlock(&dev->io_mutex);
	if (rv) {
		atomic_set(&dev->opened, 0);
		goto fail;
	}
	file->private_data = dev;
	stream_open(inode, file);
	pr_debug("Q47usbDevice::Create Status 0x%08x\n", 0);
	return 0;

fail:
	pr_debug("Q47usbDevice::Create Status 0x%08x\n", q47_status(rv));
	kref_put(&dev->kref, q47_delete);
	return rv;
}

static int q47_release(struct inode *inode, struct file *file)
{
	struct q47_dev *dev = file->private_data;

	pr_debug("Entering CleanUp, release(flags 0x%08x)\n", file->f_flags);
	pr_debug("Entering Q47usbDevice::Close, release(flags 0x%08x)\n", file->f_flags);
	/*
	 * The open's power reference goes back even after an unplug or unbind: the core
	 * no longer drops it at unbind, and a leaked one keeps a rebound board awake.
	 */
	usb_autopm_put_interface(dev->interface);
	atomic_set(&dev->opened, 0);
	pr_debug("Q47usbDevice::Close Status 0x%08x\n", 0);
	kref_put(&dev->kref, q47_delete);
	return 0;
}

/* One bulk-in transfer of at most 4096 bytes; a short one is fine. */
static ssize_t q47_read(struct file *file, char __user *ubuf, size_t count, loff_t *ppos)
{
	struct q47_dev *dev = file->private_data;
	size_t len = min_t(size_t, count, Q47_MAX_TRANSFER);
	size_t got;
	void *buf;
	int rv;

	pr_debug("Entering Q47usbDevice::Read, read(flags 0x%08x, length %zu)\n",
		 file->f_flags, count);
	if (!count)
		return 0;
	buf = kmalloc(len, GFP_KERNEL);
	if (!buf)
		return -ENOMEM;
	rv = q47_transfer(dev, dev->pipe_in, buf, len, &got);
	if (!rv && got)
		pr_debug("Read() got %zu bytes from USB\n", got);
	if (!rv && copy_to_user(ubuf, buf, got))
		rv = -EFAULT;
	kfree(buf);
	return rv ? rv : got;
}

/* One bulk-out transfer of at most 4096 bytes; more is cut, the count says so. */
static ssize_t q47_write(struct file *file, const char __user *ubuf, size_t count,
			 loff_t *ppos)
{
	struct q47_dev *dev = file->private_data;
	size_t len = min_t(size_t, count, Q47_MAX_TRANSFER);
	size_t sent;
	void *buf;
	int rv;

	pr_debug("Entering Q47usbDevice::Write, write(flags 0x%08x, length %zu)\n",
		 file->f_flags, count);
	if (!count)
		return 0;
	buf = memdup_user(ubuf, len);
	if (IS_ERR(buf))
		return PTR_ERR(buf);
	rv = q47_transfer(dev, dev->pipe_out, buf, len, &sent);
	if (!rv)
		pr_debug("Wrote %zu bytes to USB\n", sent);
	kfree(buf);
	return rv ? rv : sent;
}

/* The board takes no device control: every code is refused. */
static long q47_ioctl(struct file *file, unsigned int cmd, unsigned long arg)
{
	pr_debug("Entering Q47usbDevice::Device Control, ioctl(flags 0x%08x, code 0x%08x, size %u)\n",
		 file->f_flags, cmd, _IOC_SIZE(cmd));
	return -EINVAL;
}

static const struct file_operations q47_fops = {
	.owner = THIS_MODULE,
	.open = q47_open,
	.release = q47_release,
	.read = q47_read,
	.write = q47_write,
	.unlocked_ioctl = q47_ioctl,
	.compat_ioctl = q47_ioctl,
	/* No llseek: stream_open() at open makes every seek fail with ESPIPE. */
};

/* The bulk endpoint at address, or NULL. */
static struct usb_endpoint_descriptor *q47_find_bulk(struct usb_host_interface *alt, u8 address)
{
	int i;

	for (i = 0; i < alt->desc.bNumEndpoints; i++) {
		struct usb_endpoint_descriptor *ep = &alt->endpoint[i].desc;

		if (ep->bEndpointAddress == address && usb_endpoint_xfer_bulk(ep))
			return ep;
	}
	return NULL;
}

/*
 * The board as this driver wants it: configuration 1 active, interface 0 at alternate
 * setting 0, bulk-out 0x01 and bulk-in 0x82. A board whose pipes are missing is not
 * bound: a node on which every transfer fails would take the unit number the clients
 * open while a usable board got the next one.
 */
static int q47_start(struct usb_interface *intf, struct q47_dev *dev)
{
	struct usb_device *udev = interface_to_usbdev(intf);
	struct usb_host_interface *alt;
	int i;

	if (!udev->actconfig ||
	    udev->actconfig->desc.bConfigurationValue != Q47_CONFIGURATION) {
		for (i = 0; i < udev->descriptor.bNumConfigurations; i++) {
			if (udev->config[i].desc.bConfigurationValue == Q47_CONFIGURATION) {
				/* The core probes again once configuration 1 is active. */
				usb_driver_set_configuration(udev, Q47_CONFIGURATION);
				return -ENODEV;
			}
		}
		pr_debug("Unexpected error activating USB configuration\n");
		return -ENODEV;
	}
	alt = usb_altnum_to_altsetting(intf, 0);
	if (intf->cur_altsetting->desc.bInterfaceNumber != Q47_INTERFACE || !alt) {
		pr_debug("Could not locate interface\n");
		return -ENODEV;
	}
	if (intf->cur_altsetting != alt &&
	    usb_set_interface(udev, Q47_INTERFACE, 0)) {
		pr_debug("Board did not accept configuration URB\n");
		return -ENODEV;
	}
	if (!q47_find_bulk(alt, Q47_EP_OUT) || !q47_find_bulk(alt, Q47_EP_IN)) {
		pr_debug("Failed to open pipe object\n");
		return -ENODEV;
	}
	dev->pipe_out = usb_sndbulkpipe(udev, Q47_EP_OUT);
	dev->pipe_in = usb_rcvbulkpipe(udev, Q47_EP_IN);
	pr_debug("USB Configuration OK\n");
	return 0;
}

/* Gives the board a minor and its node /dev/zwbd_c_series<n>, n the next unit. */
static int q47_add_node(struct q47_dev *dev)
{
	struct device *node;
	int rv;

	mutex_lock(&q47_table_lock);
	rv = idr_alloc(&q47_minors, dev, 0, Q47_MINORS, GFP_KERNEL);
	if (rv < 0)
		goto out;
	dev->minor = rv;
	dev->unit = q47_next_unit;
	node = device_create(q47_class, &dev->interface->dev,
			     MKDEV(MAJOR(q47_devt), dev->minor), NULL, Q47_NODE_NAME, dev->unit);
	if (IS_ERR(node)) {
		rv = PTR_ERR(node);
		idr_remove(&q47_minors, dev->minor);
		goto out;
	}
	q47_next_unit++;
	rv = 0;
out:
	mutex_unlock(&q47_table_lock);
	if (rv)
		pr_debug("Error constructing device Q47usbDevice%u status 0x%08x\n",
			 q47_next_unit, q47_status(rv));
	return rv;
}

static int q47_probe(struct usb_interface *intf, const struct usb_device_id *id)
{
	struct q47_dev *dev;
	int rv;

	pr_debug("AddDevice called\n");
	dev = kzalloc(sizeof(*dev), GFP_KERNEL);
	if (!dev) {
		pr_debug("Error creating device Q47usbDevice%u\n", q47_next_unit);
		return -ENOMEM;
	}
	kref_init(&dev->kref);
	mutex_init(&dev->io_mutex);
	init_usb_anchor(&dev->submitted);
	init_waitqueue_head(&dev->gone);
	atomic_set(&dev->opened, 0);
	dev->udev = usb_get_dev(interface_to_usbdev(intf));
	dev->interface = usb_get_intf(intf);
	pr_debug("Entering Q47usbDevice::Q47usbDevice (constructor)\n");

	pr_debug("Entering Q47usbDevice::OnStartDevice\n");
	rv = q47_start(intf, dev);
	if (rv)
		goto fail;
	usb_set_intfdata(intf, dev);
	rv = q47_add_node(dev);
	if (rv) {
		usb_set_intfdata(intf, NULL);
		goto fail;
	}
	dev_info(&intf->dev, "Q-47 board is /dev/" Q47_NODE_NAME "\n", dev->unit);
	return 0;

fail:
	kref_put(&dev->kref, q47_delete);
	return rv;
}

static void q47_disconnect(struct usb_interface *intf)
{
	struct q47_dev *dev = usb_get_intfdata(intf);

	pr_debug("Entering Q47usbDevice::OnRemoveDevice\n");
	/* No new open finds the board; open files keep their reference. */
	mutex_lock(&q47_table_lock);
	idr_remove(&q47_minors, dev->minor);
	mutex_unlock(&q47_table_lock);
	device_destroy(q47_class, MKDEV(MAJOR(q47_devt), dev->minor));

	/* No new transfer starts; the waiting ones return -ENODEV. */
	mutex_lock(&dev->io_mutex);
	dev->disconnected = true;
	mutex_unlock(&dev->io_mutex);
	wake_up_all(&dev->gone);
	usb_kill_anchored_urbs(&dev->submitted);
	usb_set_intfdata(intf, NULL);

	dev_info(&intf->dev, "Q-47 board " Q47_NODE_NAME " gone\n", dev->unit);
	kref_put(&dev->kref, q47_delete);
}

/* Sleep and wake-up are traced; a transfer waiting at sleep is cancelled. */
static int q47_suspend(struct usb_interface *intf, pm_message_t message)
{
	struct q47_dev *dev = usb_get_intfdata(intf);

	pr_debug("Entering Q47usbDevice::DefaultPower\n");
	pr_debug("Entering Q47usbDevice::OnDeviceSleep\n");
	if (dev)
		usb_kill_anchored_urbs(&dev->submitted);
	return 0;
}

static int q47_resume(struct usb_interface *intf)
{
	pr_debug("Entering Q47usbDevice::DefaultPower\n");
	pr_debug("Entering Q47usbDevice::OnDevicePowerUp\n");
	return 0;
}

/*
 * Wake-up after the core had to reset the board (a port that lost power or its
 * connection during a system sleep). The core has restored configuration 1 and the
 * interface's setting; without this entry it would unbind and rebind the board,
 * which would then come back as the next unit while the clients open unit 0. The
 * node, its number and an open file stay; transfers of open files were cancelled
 * at suspend, and user tasks are restarted only after this.
 */
static int q47_reset_resume(struct usb_interface *intf)
{
	pr_debug("Entering Q47usbDevice::DefaultPower\n");
	pr_debug("Entering Q47usbDevice::OnDevicePowerUp\n");
	pr_debug("USB Configuration OK\n");
	return 0;
}

/* A port reset stops the board's I/O and starts it again on the same node. */
static int q47_pre_reset(struct usb_interface *intf)
{
	struct q47_dev *dev = usb_get_intfdata(intf);

	pr_debug("Entering Q47usbDevice::OnStopDevice\n");
	mutex_lock(&dev->io_mutex);
	usb_kill_anchored_urbs(&dev->submitted);
	return 0;
}

static int q47_post_reset(struct usb_interface *intf)
{
	struct q47_dev *dev = usb_get_intfdata(intf);

	pr_debug("Entering Q47usbDevice::OnStartDevice\n");
	pr_debug("USB Configuration OK\n");
	mutex_unlock(&dev->io_mutex);
	return 0;
}

static struct usb_driver q47_driver = {
	.name = "q47usb",
	.probe = q47_probe,
	.disconnect = q47_disconnect,
	.suspend = q47_suspend,
	.resume = q47_resume,
	.reset_resume = q47_reset_resume,
	.pre_reset = q47_pre_reset,
	.post_reset = q47_post_reset,
	.id_table = q47_ids,
	.supports_autosuspend = 1,
};

/*
 * break_on_entry: stop in the debugger, or leave a warning and a stack trace when
 * none listens. Not WARN(): that taints the kernel and panics under panic_on_warn.
 */
static void q47_break_on_entry(void)
{
#if IS_ENABLED(CONFIG_KGDB)
	if (kgdb_connected) {
		kgdb_breakpoint();
		return;
	}
#endif
	pr_warn("break_on_entry set, no kernel debugger attached\n");
	dump_stack();
}

static int __init q47_init(void)
{
	int rv;

	pr_debug("In DriverEntry\n");
	if (break_on_entry)
		q47_break_on_entry();
	pr_debug("m_bBreakOnEntry loaded from registry, resulting value: [%u]\n", break_on_entry);
	q47_next_unit = 0;

	if (vendor) {
		q47_ids[0].match_flags = USB_DEVICE_ID_MATCH_DEVICE;
		q47_ids[0].idVendor = vendor;
		q47_ids[0].idProduct = product;
	}
	rv = alloc_chrdev_region(&q47_devt, 0, Q47_MINORS, "q47usb");
	if (rv)
		return rv;
	cdev_init(&q47_cdev, &q47_fops);
	q47_cdev.owner = THIS_MODULE;
	rv = cdev_add(&q47_cdev, q47_devt, Q47_MINORS);
	if (rv)
		goto no_cdev;
#if LINUX_VERSION_CODE >= KERNEL_VERSION(6, 4, 0)
	q47_class = class_create("q47usb");
#else
	q47_class = class_create(THIS_MODULE, "q47usb");
#endif
	if (IS_ERR(q47_class)) {
		rv = PTR_ERR(q47_class);
		goto no_class;
	}
	rv = usb_register(&q47_driver);
	if (rv)
		goto no_driver;
	return 0;

no_driver:
	class_destroy(q47_class);
no_class:
	cdev_del(&q47_cdev);
no_cdev:
	unregister_chrdev_region(q47_devt, Q47_MINORS);
	return rv;
}

static void __exit q47_exit(void)
{
	usb_deregister(&q47_driver);
	class_destroy(q47_class);
	cdev_del(&q47_cdev);
	unregister_chrdev_region(q47_devt, Q47_MINORS);
	idr_destroy(&q47_minors);
}

module_init(q47_init);
module_exit(q47_exit);

MODULE_DESCRIPTION("Q-47 copyboard USB driver");
MODULE_LICENSE("GPL");
